#include "input_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
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

std::uint64_t InputStream::inputOffset(long told) const
{
    const auto read = static_cast<std::uint64_t>(std::max(told, 0L));
    if (leadingNewlines == 0) {
        return read; // the descriptor's own position
    }
    return offset + (read > leadingNewlines ? read - leadingNewlines : 0);
}

InputStream openInputStream(int fd, std::uint64_t offset, std::uint64_t line)
{
    InputStream stream;
    stream.offset = offset;
    stream.leadingNewlines = line > 0 ? line - 1 : 0;
    // A plain stream wherever no line feeds are needed (every worker that
    // starts on the first line): the parser reads a character at a time, and
    // getc() on a stream of our own functions costs it almost twice as much.
    if (stream.leadingNewlines == 0) {
        stream.file = ::fdopen(fd, "r");
    } else {
        auto *cookie = new InputCookie{fd, stream.leadingNewlines, 0};
        stream.file = ::fopencookie(cookie, "r", {readInput, nullptr, seekInput, closeInput});
        if (!stream.file) {
            delete cookie;
        }
    }
    if (stream.file) {
        // Fewer, larger reads. The C library takes the size only together
        // with a buffer; there is one stream per process.
        static char buffer[1 << 16];
        std::setvbuf(stream.file, buffer, _IOFBF, sizeof buffer);
    }
    return stream;
}

} // namespace bibsources::worker
