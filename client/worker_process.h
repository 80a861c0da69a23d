#pragma once

#include "frames.h"
#include "helper_command.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace bibsources {

// How to start one parser worker on one input.
struct WorkerStart {
    std::string helperPath;
    HelperCommand command; // command.macros is set from macroFd
    int inputFd = -1; // becomes the worker's standard input
    int macroFd = -1; // macro definitions to make first, or -1
    double timeoutSeconds = 10; // longest silence before the worker is killed
    std::size_t maxPayload = 0; // longest frame payload believed
    std::uint64_t maxSteps = 0; // most parser calls the rest of the input allows
    std::stop_token stop; // once requested, the worker is killed
};

enum class WorkerEnd {
    Finished, // sent its End frame: everything arrived
    Crashed, // died, aborted or exited early
    OutOfMemory, // died at its address-space limit
    TimedOut, // made no progress for too long and was killed
    Garbled, // wrote bytes that are not the protocol and was killed
    NotStarted, // could not be started, or died before it was ready
    Stopped, // killed because the run's stop was requested
    Dismissed, // killed because the step handler wanted nothing more from it
};

struct WorkerOutcome {
    WorkerEnd end = WorkerEnd::NotStarted;
    std::string error; // for NotStarted: why, in words
    bool readError = false; // Finished: the input could not be read
    int exitStatus = -1; // the worker's exit status; -1 if a signal ended it
    int steps = 0; // Step frames received
    std::uint64_t lastConsumed = 0; // consumedUpTo of the last Step frame
};

// Receives every Step frame and the End frame, in order, as soon as each has
// arrived. Returns false when it wants nothing more from this worker: no
// further frame is handed on, and the worker is killed and ends Dismissed.
using StepHandler = std::function<bool(Frame &&)>;

// Starts the worker with posix_spawn (the calling process may have threads,
// so it never forks without exec), reads its frames and its standard error
// together with poll() so that neither pipe can fill up and stall it, and
// waits for it. Never throws from the spawning side; a worker that is still
// running when this returns by any path has been killed and reaped.
WorkerOutcome runWorker(const WorkerStart &start, const StepHandler &onStep);

} // namespace bibsources
