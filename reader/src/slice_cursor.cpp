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

void SliceCursor::skip(std::size_t count)
{
    const std::string_view taken = slice.substr(at, count);
    lineNumber += static_cast<int>(std::count(taken.begin(), taken.end(), '\n'));
    advance(count);
}

// An empty slice ends the input; the slices after it are never asked for.
void SliceCursor::refill()
{
    if (recording) {
        keepRecorded();
    }
    inReplay = false;
    at = 0;
    recordFrom = 0;
    if (!afterReplay.empty()) {
        slice = std::exchange(afterReplay, {});
        return;
    }
    slice = input ? input() : std::string_view();
}

void SliceCursor::keepRecorded()
{
    recorded.append(slice.substr(recordFrom, at - recordFrom));
    recordFrom = at;
}

void SliceCursor::startRecording()
{
    recorded.clear();
    recording = true;
    recordFrom = at;
}

std::string SliceCursor::takeRecording()
{
    if (recording) {
        keepRecorded();
    }
    recording = false;
    return std::exchange(recorded, {});
}

void SliceCursor::stopRecording()
{
    recording = false;
    recorded.clear();
}

void SliceCursor::replay(std::string text, int line)
{
    if (text.empty()) {
        return;
    }
    if (recording) {
        keepRecorded();
    }
    consumed -= std::min<std::uint64_t>(consumed, text.size());
    lineNumber = line;
    if (inReplay) {
        text += ahead(); // the rest of the replay before this one
    } else {
        afterReplay = ahead();
    }
    replayed = std::move(text);
    slice = replayed;
    at = 0;
    recordFrom = 0;
    inReplay = true;
}

} // namespace bibsources::reader
