#pragma once

#include "worker_process.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bibsources {

// Reads the frames of one worker and checks that they come in the only order
// a healthy worker writes them: Ready, Steps, End.
class FrameReader {
public:
    FrameReader(const WorkerStart &start, const StepHandler &onStep, WorkerOutcome &outcome)
        : start(start)
        , onStep(onStep)
        , outcome(outcome)
    {
    }

    // False when the bytes can no longer be believed.
    bool take(const char *data, std::size_t size);

    bool ready = false;
    bool ended = false;
    bool dismissed = false; // the step handler wanted no more frames

private:
    bool accept(Frame &&frame);
    bool acceptStep(Frame &&frame);
    // False once the step handler has declined further frames.
    bool handOnHeld();

    const WorkerStart &start;
    const StepHandler &onStep;
    WorkerOutcome &outcome;
    std::vector<Frame> held; // steps whose block has not been seen whole
    std::uint64_t received = 0; // steps read, held ones included
    std::uint64_t lastReceived = 0; // position of the last step read
    std::string buffer;
    std::size_t readPos = 0;
};

} // namespace bibsources
