#include "frame_reader.h"

namespace bibsources {

bool FrameReader::take(const char *data, std::size_t size)
{
    buffer.append(data, size);
    while (true) {
        const std::string_view pending(buffer.data() + readPos, buffer.size() - readPos);
        DecodeResult result = decodeFrame(pending, start.maxPayload);
        if (result.status == DecodeStatus::Corrupt) {
            return false;
        }
        if (result.status == DecodeStatus::NeedMore) {
            break;
        }
        readPos += result.used;
        if (!accept(std::move(result.frame))) {
            return false;
        }
    }
    // Keep the unread tail at the front so the buffer stays about one read's
    // size however long the stream runs.
    if (readPos > 0 && readPos * 2 >= buffer.size()) {
        buffer.erase(0, readPos);
        readPos = 0;
    }
    return true;
}

bool FrameReader::accept(Frame &&frame)
{
    if (ended || dismissed) {
        return false;
    }
    switch (frame.kind) {
    case wire::FrameKind::Ready:
        if (ready) {
            return false;
        }
        ready = true;
        return true;
    case wire::FrameKind::End:
        if (!ready) {
            return false;
        }
        ended = true;
        outcome.readError = frame.readError;
        if (!handOnHeld()) {
            return false;
        }
        dismissed = !onStep(std::move(frame));
        return !dismissed;
    case wire::FrameKind::Step:
        break;
    }
    return acceptStep(std::move(frame));
}

bool FrameReader::acceptStep(Frame &&frame)
{
    // Every parser call but the last reads at least one byte, so a worker
    // cannot honestly report more calls than there are bytes left, nor read
    // backwards.
    const std::uint64_t floor = received > 0 ? lastReceived : start.command.startOffset;
    if (!ready || frame.consumedUpTo < floor || received >= start.maxSteps) {
        return false;
    }
    ++received;
    // A worker writing ahead gives its exact position only to the last step
    // of each block; the steps before it repeat the position of the block
    // before. A step is therefore handed on only once its block is known to
    // be whole (a later position, or the End frame): what was handed on then
    // always ends where a new worker can resume exactly, even when a worker
    // is killed or garbles its output halfway through a block. Every parser
    // call reads at least one byte, so a block's last step is always further
    // on than the block before.
    const bool exact = frame.consumedUpTo > floor || received == 1;
    lastReceived = frame.consumedUpTo;
    held.push_back(std::move(frame));
    return !exact || handOnHeld();
}

bool FrameReader::handOnHeld()
{
    for (Frame &step : held) {
        ++outcome.steps;
        outcome.lastConsumed = step.consumedUpTo;
        if (!onStep(std::move(step))) {
            dismissed = true;
            break;
        }
    }
    held.clear();
    return !dismissed;
}

} // namespace bibsources
