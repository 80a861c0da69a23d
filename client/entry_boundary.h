#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace bibsources {

// Finds, in raw BibTeX text, where one entry ends, judged from its delimiters
// alone. The converter needs this only to step over an entry the parser died
// on, so it must never fail and never report an end at or before the entry's
// own "@": the caller resumes there, and any progress at all keeps it from
// looping.
//
// Feed the text from the entry's start onwards in chunks; offsets are counted
// from the first byte fed. The entry starts at the first "@". Its end is the
// byte after the delimiter that closes its body ("{...}" or "(...)", braces
// counted, a quoted string at the body's own level kept whole). An entry that
// has no body, or whose body never closes, ends where the next line starting
// with "@" begins, or else at the end of the text.
class EntryEndFinder {
public:
    // Returns the end once it is known; later calls are not needed.
    std::optional<std::uint64_t> feed(std::string_view chunk);
    // The end when the text ends here.
    std::uint64_t finish() const;

    // Offset of the entry's "@", once it has been seen.
    std::optional<std::uint64_t> start() const { return atOffset; }

private:
    enum class State { BeforeAt, Header, Body, Fallback };

    std::optional<std::uint64_t> step(char c, std::uint64_t offset);

    State state = State::BeforeAt;
    std::uint64_t position = 0;
    std::optional<std::uint64_t> atOffset;
    std::optional<std::uint64_t> lineStartAt; // first later line beginning with "@"
    bool atLineStart = false;
    char closer = '}';
    long depth = 0;
    bool inQuote = false;
};

// Where in `text` a person plainly starts a new entry: the "@" of the first
// line whose first non-blank character is "@", followed by an entry type and
// "{" or "(" (blanks allowed between them). Only "@"s before `limit` count,
// and the first line counts only if `startsLine`. An entry the parser ran
// over is dropped up to there, and parsing resumes there.
std::optional<std::size_t> findEntryLine(std::string_view text, std::size_t limit, bool startsLine);

// How the body of an entry (from the "{" or "(" at `body`) ends in `text`:
// closed by `closer` outside every value, or still inside a quoted or braced
// value when the text runs out.
struct BodyEnd {
    bool closed = false;
    bool quoteOpen = false;
    bool braceOpen = false;
};
BodyEnd entryBodyEnd(std::string_view text, std::size_t body, char closer);

// Why an entry's text (from its "@" to where it is dropped) did not parse,
// when that shows in its delimiters: "unterminated quoted value" for a
// quoted value still open at the end, "unbalanced braces" for a body still
// open; otherwise nothing.
std::string_view brokenDelimiters(std::string_view entryText);

// Where the next entry starts, given how far the parser had read when it
// handed back the previous one. btparse stops reading one character past the
// "@" that opens the following entry, so that "@" is normally one or two
// bytes back; `tail` holds the (up to) two bytes before `consumed`.
std::uint64_t nextEntryStart(std::uint64_t consumed, std::string_view tail);

} // namespace bibsources
