#pragma once

#include "frames.h"

#include <string>
#include <vector>

namespace bibsources::testing {

// A step frame that says the input was read up to consumedUpTo.
inline Frame step(std::uint64_t consumedUpTo, wire::StepKind kind = wire::StepKind::Entry)
{
    return {.kind = wire::FrameKind::Step, .step = kind, .consumedUpTo = consumedUpTo};
}

// The frames as the helper writes them, one after the other.
inline std::string encoded(const std::vector<Frame> &frames)
{
    std::string bytes;
    for (const Frame &frame : frames) {
        encodeFrame(frame, bytes);
    }
    return bytes;
}

} // namespace bibsources::testing
