#pragma once

class QCoreApplication;

namespace bibsources {

// SIGTERM (a logout, `kill`), SIGINT (Ctrl+C) and SIGHUP end the event loop
// normally instead of killing the process, so a run in progress is stopped
// cleanly and leaves no temporary file behind.
class TerminationSignals {
public:
    // Blocks the three signals in this thread, and so in every thread started
    // later, and opens the descriptor that reports them instead. Construct it
    // before the application object, which starts threads of its own.
    TerminationSignals();
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

    // From now on each of the signals quits application's event loop.
    void quitOnArrival(QCoreApplication &application);

private:
    int descriptor;
};

} // namespace bibsources
