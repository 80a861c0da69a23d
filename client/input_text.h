#pragma once

#include <cstddef>
#include <cstdint>
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

    // The line `offset` is on. Lines are counted once, forwards: every
    // restart is further on than the one before.
    int lineAt(std::uint64_t offset);

private:
    static constexpr std::size_t chunkSize = 1 << 16;
    int fd;
    std::uint64_t size;
    std::uint64_t countedUpTo = 0;
    int linesBefore = 1;
};

} // namespace bibsources
