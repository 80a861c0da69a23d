#include "slice_cursor.h"

#include <algorithm>
#include <utility>

namespace bibsources::reader {

SliceCursor::SliceCursor(const BibSlices &input, int firstLine)
    : input(input)
    , lineNumber(firstLine)
{
    refill();
}

char SliceCursor::take()
{
    const char byte = slice.front();
    if (recording) {
        recorded += byte;
    }
    step();
    if (byte == '\n') {
        ++lineNumber;
    }
    return byte;
}

char SliceCursor::takeUncounted()
{
    const char byte = take();
    lineNumber -= byte == '\n' ? 1 : 0;
    return byte;
}

void SliceCursor::skipPlain(std::size_t count)
{
    if (recording) {
        recorded.append(slice.substr(0, count));
    }
    slice.remove_prefix(count);
    consumed += count;
    if (slice.empty()) {
        refill();
    }
}

void SliceCursor::step()
{
    slice.remove_prefix(1);
    ++consumed;
    if (slice.empty()) {
        refill();
    }
}

// An empty slice ends the input; the slices after it are never asked for.
void SliceCursor::refill()
{
    inReplay = false;
    if (!afterReplay.empty()) {
        slice = std::exchange(afterReplay, {});
        return;
    }
    slice = input ? input() : std::string_view();
}

std::string SliceCursor::takeRecording()
{
    recording = false;
    return std::exchange(recorded, {});
}

void SliceCursor::replay(std::string text, int line)
{
    if (text.empty()) {
        return;
    }
    consumed -= std::min<std::uint64_t>(consumed, text.size());
    lineNumber = line;
    if (inReplay) {
        text += slice; // the rest of the replay before this one
    } else {
        afterReplay = slice;
    }
    replayed = std::move(text);
    slice = replayed;
    inReplay = true;
}

} // namespace bibsources::reader
