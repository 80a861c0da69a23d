#pragma once

#include "bibsources/bib_reader.h"

#include <cstdint>
#include <string_view>

namespace bibsources::reader {

// Walks an input given in slices one byte at a time, counting lines. Only
// the current slice is held.
class SliceCursor {
public:
    explicit SliceCursor(const BibSlices &input);

    bool atEnd() const { return slice.empty(); }
    // The byte under the cursor; only when not at the end.
    char peek() const { return slice.front(); }
    char take();
    int line() const { return lineNumber; }
    std::uint64_t offset() const { return consumed; }

private:
    void refill();

    const BibSlices &input;
    std::string_view slice;
    int lineNumber = 1;
    std::uint64_t consumed = 0;
};

} // namespace bibsources::reader
