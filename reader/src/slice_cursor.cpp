#include "slice_cursor.h"

namespace bibsources::reader {

SliceCursor::SliceCursor(const BibSlices &input)
    : input(input)
{
    refill();
}

char SliceCursor::take()
{
    const char byte = slice.front();
    slice.remove_prefix(1);
    ++consumed;
    if (byte == '\n') {
        ++lineNumber;
    }
    if (slice.empty()) {
        refill();
    }
    return byte;
}

// An empty slice ends the input; the slices after it are never asked for.
void SliceCursor::refill()
{
    slice = input ? input() : std::string_view();
}

} // namespace bibsources::reader
