#include "slice_cursor.h"

#include <algorithm>
#include <utility>

namespace bibsources::reader {

SliceCursor::SliceCursor(const BibSlices &input, int firstLine)
    : input(input)
    , lineNumber(firstLine)
{
    refill();
    skipHiddenText();
}

void SliceCursor::skipPlain(std::size_t count)
{
    advance(count);
    skipHiddenText();
}

void SliceCursor::skip(std::size_t count)
{
    const std::string_view taken = slice.substr(at, count);
    lineNumber += static_cast<int>(std::count(taken.begin(), taken.end(), '\n'));
    advance(count);
    skipHiddenText();
}

// The parser reads the input a line at a time as C strings: a NUL byte ends
// what it sees of its line, so the rest of that line, up to its line break,
// is never read, nor recorded.
void SliceCursor::skipHiddenLine()
{
    if (recording) {
        keepRecorded();
    }
    const bool wasRecording = std::exchange(recording, false);
    while (!atEnd() && peek() != '\n') {
        advance(std::min(ahead().find('\n'), ahead().size()));
    }
    recording = wasRecording;
    recordFrom = at;
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
