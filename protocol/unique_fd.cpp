#include "unique_fd.h"

#include <cerrno>
#include <unistd.h>

namespace bibsources {

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other) {
        reset(other.release());
    }
    return *this;
}

int UniqueFd::release()
{
    const int fd = value;
    value = -1;
    return fd;
}

bool UniqueFd::reset(int fd)
{
    const int old = value;
    value = fd;
    return old < 0 || ::close(old) == 0;
}

namespace {

// Hands each chunk read from fd to take until the end of fd; false on a read
// error or when take refuses a chunk.
template <typename Take> bool readChunks(int fd, Take take)
{
    char chunk[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0) {
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || !take(std::string_view(chunk, static_cast<std::size_t>(n)))) {
            return false;
        }
    }
}

} // namespace

bool readAll(int fd, std::string &bytes)
{
    return readChunks(fd, [&](std::string_view chunk) {
        bytes += chunk;
        return true;
    });
}

bool copyAll(int from, int to)
{
    return readChunks(from, [&](std::string_view chunk) { return writeAll(to, chunk); });
}

bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string readAt(int fd, std::uint64_t offset, std::size_t length)
{
    std::string bytes(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

} // namespace bibsources
