#pragma once

#include "bibsources/bib_reader.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bibsources::reader {

// Walks an input given in slices one byte at a time, counting lines. Only
// the current slice is held.
class SliceCursor {
public:
    explicit SliceCursor(const BibSlices &input, int firstLine = 1);

    bool atEnd() const { return slice.empty(); }
    // The byte under the cursor; only when not at the end.
    char peek() const { return slice.front(); }
    char take();
    // Takes the byte under the cursor without counting a line it ends, as
    // the parser's lexer takes the byte after one it cannot read.
    char takeUncounted();
    // What is ahead in the current slice (never empty unless at the end).
    std::string_view ahead() const { return slice; }
    // Takes `count` bytes of ahead() that hold no line break and no NUL.
    void skipPlain(std::size_t count);
    int line() const { return lineNumber; }
    std::uint64_t offset() const { return consumed; }

    // Keeps every byte taken from now on, until the next call.
    void startRecording() { recorded.clear(), recording = true; }
    // What was taken since startRecording; recording stops.
    std::string takeRecording();
    // Reads `text` again, as if it were still ahead, starting on `line`.
    void replay(std::string text, int line);

private:
    void refill();
    void step();

    const BibSlices &input;
    std::string_view slice;
    std::string_view afterReplay; // what was ahead when the replay began
    std::string replayed;
    std::string recorded;
    bool recording = false;
    bool inReplay = false; // slice lies in replayed
    int lineNumber = 1;
    std::uint64_t consumed = 0;
};

} // namespace bibsources::reader
