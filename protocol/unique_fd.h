#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace bibsources {

// Owns one file descriptor and closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : value(fd)
    {
    }
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    UniqueFd(UniqueFd &&other) noexcept
        : value(other.release())
    {
    }
    UniqueFd &operator=(UniqueFd &&other) noexcept;

    int get() const { return value; }
    bool valid() const { return value >= 0; }
    int release();
    // Closes the descriptor it holds, if any, and takes fd; false (errno set)
    // when that close reported an error, as a delayed write error may be.
    bool reset(int fd = -1);

private:
    int value = -1;
};

// Reads from fd until its end, appending to bytes. Interrupted and short
// reads are retried; false on a read error.
bool readAll(int fd, std::string &bytes);

// Writes all of text to fd at its current position, retrying interrupted and
// short writes; false on a write error (errno says which).
bool writeAll(int fd, std::string_view text);

// Copies everything from `from` until its end into `to`; false on an error.
bool copyAll(int from, int to);

// Up to length bytes of fd from offset, without moving its position; fewer
// only at the end of the file or on an error.
std::string readAt(int fd, std::uint64_t offset, std::size_t length);

} // namespace bibsources
