#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace bibsources::toolkit {

// A scheduled timer on the main thread's event loop. It first fires one
// interval after it was scheduled; a repeating timer then fires every interval
// until invalidated, a one-shot timer fires once and is then invalid. Each
// firing calls the action with the timer.
//
// The timer is a child of its target: whoever holds a pointer to it does not
// own it, and destroying the target destroys its timers, so no timer can ever
// fire on a destroyed object.
class Timer : public QObject {
    Q_OBJECT

public:
    using Action = std::function<void(Timer *timer)>;

    template <class Target>
    static Timer *scheduledTimer(
        double seconds, Target *target, void (Target::*action)(Timer *), bool repeats)
    {
        return new Timer(
            seconds, target, [target, action](Timer *timer) { (target->*action)(timer); }, repeats);
    }

    double timeInterval() const;
    bool repeats() const;
    bool isValid() const;

    // Calls the action now, as if the timer had fired; a one-shot timer is
    // then invalid. A repeating timer keeps its schedule. Does nothing on an
    // invalid timer.
    void fire();

    // The timer never fires again and lets go of its action. The object is
    // deleted later, from the event loop, so invalidating from inside the
    // action is safe.
    void invalidate();

    // What Qt has been asked to do, for checking the schedule.
    const QTimer &qtTimer() const { return timer; }

private:
    Timer(double seconds, QObject *target, Action action, bool repeats);

    QTimer timer;
    Action action;
    double seconds;
    bool valid = true;
};

} // namespace bibsources::toolkit
