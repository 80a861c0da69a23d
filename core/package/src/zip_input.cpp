#include "zip_input.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace bibsources {

ZipInput ZipInput::ofFile(UniqueFd file, std::uint64_t size, std::int64_t modified)
{
    ZipInput input;
    input.file = std::move(file);
    input.byteCount = size;
    input.modifiedTime = modified;
    return input;
}

ZipInput ZipInput::ofBytes(std::string bytes)
{
    ZipInput input;
    input.byteCount = bytes.size();
    input.bytes = std::move(bytes);
    return input;
}

std::int64_t ZipInput::readAt(std::uint64_t offset, void *into, std::size_t length) const
{
    if (!file.valid()) {
        const std::size_t from = std::min<std::uint64_t>(offset, bytes.size());
        const std::size_t count = std::min(length, bytes.size() - from);
        std::memcpy(into, bytes.data() + from, count);
        return static_cast<std::int64_t>(count);
    }
    ssize_t got = -1;
    do {
        got = ::pread(file.get(), into, length, static_cast<off_t>(offset));
    } while (got < 0 && errno == EINTR);
    return got;
}

std::string ZipInput::allBytes() const
{
    if (!file.valid()) {
        return bytes;
    }
    std::string all(byteCount, '\0');
    std::size_t read = 0;
    while (read < all.size()) {
        const std::int64_t got = readAt(read, all.data() + read, all.size() - read);
        if (got <= 0) {
            errno = got == 0 ? EIO : errno; // shorter than it was when opened
            return {};
        }
        read += static_cast<std::size_t>(got);
    }
    return all;
}

} // namespace bibsources
