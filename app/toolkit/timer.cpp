#include "timer.h"

#include <QtMath>

namespace bibsources::toolkit {

Timer::Timer(double seconds, QObject *target, Action action, bool repeats)
    : QObject(target)
    , action(std::move(action))
    , seconds(seconds)
{
    // The hover animation ticks every 70 ms; a coarse timer may be 5 % late
    // on each tick, which shows as uneven frames.
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(qRound(seconds * 1000.0));
    timer.setSingleShot(!repeats);
    connect(&timer, &QTimer::timeout, this, &Timer::fire);
    timer.start();
}

double Timer::timeInterval() const
{
    return seconds;
}

bool Timer::repeats() const
{
    return !timer.isSingleShot();
}

bool Timer::isValid() const
{
    return valid;
}

void Timer::fire()
{
    if (!valid) {
        return;
    }
    // A copy, because the action may invalidate this timer, which drops
    // the stored one while it is still running.
    const Action run = action;
    run(this);
    if (!repeats()) {
        invalidate();
    }
}

void Timer::invalidate()
{
    if (!valid) {
        return;
    }
    valid = false;
    timer.stop();
    action = nullptr;
    deleteLater();
}

} // namespace bibsources::toolkit
