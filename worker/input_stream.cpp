#include "input_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace bibsources::worker {

namespace {

struct InputCookie {
    int fd;
    std::uint64_t newlinesLeft;
    std::uint64_t delivered; // bytes handed to stdio so far
};

ssize_t readInput(void *cookie, char *buffer, size_t size)
{
    auto *input = static_cast<InputCookie *>(cookie);
    if (input->newlinesLeft > 0) {
        const auto count = static_cast<size_t>(std::min<std::uint64_t>(size, input->newlinesLeft));
        std::memset(buffer, '\n', count);
        input->newlinesLeft -= count;
        input->delivered += count;
        return static_cast<ssize_t>(count);
    }
    while (true) {
        const ssize_t n = ::read(input->fd, buffer, size);
        if (n >= 0) {
            input->delivered += static_cast<std::uint64_t>(n);
            return n;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

// Answers ftell() only: stdio asks for the current position and subtracts
// what it still holds in its buffer.
int seekInput(void *cookie, off64_t *offset, int whence)
{
    auto *input = static_cast<InputCookie *>(cookie);
    if (whence != SEEK_CUR || *offset != 0) {
        errno = ESPIPE;
        return -1;
    }
    *offset = static_cast<off64_t>(input->delivered);
    return 0;
}

int closeInput(void *cookie)
{
    delete static_cast<InputCookie *>(cookie);
    return 0;
}

} // namespace

std::FILE *openInputStream(int fd, std::uint64_t leadingNewlines)
{
    auto *cookie = new InputCookie{fd, leadingNewlines, 0};
    std::FILE *stream = ::fopencookie(cookie, "r", {readInput, nullptr, seekInput, closeInput});
    if (!stream) {
        delete cookie;
        return nullptr;
    }
    // Fewer, larger reads: the parser takes its input a character at a time.
    std::setvbuf(stream, nullptr, _IOFBF, 1 << 16);
    return stream;
}

} // namespace bibsources::worker
