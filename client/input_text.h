#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace bibsources {

// The raw input, read with pread only when a worker has died: to find the
// entry it died on, the entry's end, and line numbers.
class InputText {
public:
    InputText(int fd, std::uint64_t size)
        : fd(fd)
        , size(size)
    {
    }

    // Where the entry after the one that ended at `consumed` starts.
    std::uint64_t entryStartAfter(std::uint64_t consumed) const;

    struct Span {
        std::uint64_t at; // the entry's "@" (or `from` if none was found)
        std::uint64_t end; // where the next worker starts
    };
    // The entry that begins at or after `from`, judged from its delimiters.
    Span entryAt(std::uint64_t from) const;

    // True when an "@" follows `offset` anywhere.
    bool hasEntryFrom(std::uint64_t offset) const;

    // Where the first text from `from` on stands that is neither blank nor
    // in a "%" comment (which, as the parser reads them, runs from the "%"
    // to the line's end), when no "@" stands outside such comments: text
    // that holds no entry at all, not even a comment entry. None when the
    // text is all blanks and comments, or holds an "@".
    std::optional<std::uint64_t> textWithoutEntries(std::uint64_t from) const;

    // Where line `line` begins, counting forwards from `from`, which must be
    // on an earlier line; nothing when it begins at or after `limit`.
    std::optional<std::uint64_t> lineStart(std::uint64_t from, int line, std::uint64_t limit);

    // The "@" of the first line that plainly starts an entry (findEntryLine),
    // among the lines from `from` (a line start) with their "@" before
    // `limit`.
    std::optional<std::uint64_t> entryLineIn(std::uint64_t from, std::uint64_t limit) const;

    // At most `length` bytes from `offset`.
    std::string read(std::uint64_t offset, std::size_t length) const;

    // The line `offset` is on. Lines are counted once, forwards: every
    // restart is further on than the one before.
    int lineAt(std::uint64_t offset);

private:
    static constexpr std::size_t chunkSize = 1 << 16;
    // Read past a chunk so that a line starting near its end can be judged.
    static constexpr std::size_t lineLookahead = 256;
    int fd;
    std::uint64_t size;
    std::uint64_t countedUpTo = 0;
    int linesBefore = 1;
};

} // namespace bibsources
