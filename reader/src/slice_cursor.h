#pragma once

#include "bibsources/bib_reader.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bibsources::reader {

// Walks an input given in slices, counting lines. Only the current slice is
// held.
class SliceCursor {
public:
    explicit SliceCursor(const BibSlices &input, int firstLine = 1);

    bool atEnd() const { return at == slice.size(); }
    // The byte under the cursor; only when not at the end.
    char peek() const { return slice[at]; }
    char take()
    {
        const char byte = slice[at];
        advance(1);
        if (byte == '\n') {
            ++lineNumber;
        }
        return byte;
    }
    // Takes the byte under the cursor without counting a line it ends, as
    // the parser's lexer takes the byte after one it cannot read.
    char takeUncounted()
    {
        const char byte = take();
        lineNumber -= byte == '\n' ? 1 : 0;
        return byte;
    }
    // What is ahead in the current slice (never empty unless at the end).
    std::string_view ahead() const { return slice.substr(at); }
    // Takes `count` bytes of ahead() that hold no line break.
    void skipPlain(std::size_t count) { advance(count); }
    // Takes `count` bytes of ahead(), counting their lines.
    void skip(std::size_t count);
    int line() const { return lineNumber; }
    std::uint64_t offset() const { return consumed; }

    // Keeps every byte taken from now on, until the next call.
    void startRecording();
    // What was taken since startRecording; recording stops.
    std::string takeRecording();
    // Recording stops, and what it kept is dropped.
    void stopRecording();
    // Reads `text` again, as if it were still ahead, starting on `line`.
    void replay(std::string text, int line);

private:
    // (The byte at a time paths are the reader's hottest: these stay inline.)
    void advance(std::size_t count)
    {
        at += count;
        consumed += count;
        if (at == slice.size()) {
            refill();
        }
    }
    void refill();
    void keepRecorded();

    const BibSlices &input;
    std::string_view slice; // the current slice, of which `at` bytes are taken
    std::size_t at = 0;
    std::string_view afterReplay; // what was ahead when the replay began
    std::string replayed;
    // What is recorded is copied a slice at a time: the bytes of the current
    // slice from recordFrom on are recorded but not yet copied.
    std::string recorded;
    std::size_t recordFrom = 0;
    bool recording = false;
    bool inReplay = false; // slice lies in replayed
    int lineNumber = 1;
    std::uint64_t consumed = 0;
};

} // namespace bibsources::reader
