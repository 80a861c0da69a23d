#include "slice_cursor.h"

namespace bibsources::reader {

SliceCursor::SliceCursor(const BibSlices &input)
    : input(input)
{
    refill();
    skipHiddenText();
}

char SliceCursor::take()
{
    const char byte = slice.front();
    step();
    if (byte == '\n') {
        ++lineNumber;
    }
    skipHiddenText();
    return byte;
}

void SliceCursor::step()
{
    slice.remove_prefix(1);
    ++consumed;
    if (slice.empty()) {
        refill();
    }
}

// The parser reads the input a line at a time as C strings: a NUL byte ends
// what it sees of its line, so the rest of that line, up to its line break,
// is never read.
void SliceCursor::skipHiddenText()
{
    if (slice.empty() || slice.front() != '\0') {
        return;
    }
    while (!slice.empty() && slice.front() != '\n') {
        step();
    }
}

// An empty slice ends the input; the slices after it are never asked for.
void SliceCursor::refill()
{
    slice = input ? input() : std::string_view();
}

} // namespace bibsources::reader
