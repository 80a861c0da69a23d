#pragma once

#include "unique_fd.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace bibsources {

// Where the bytes of a zip file are read from: a regular file open for
// reading, or bytes in memory (a file the page was handed). Either way a
// read is positioned and leaves nothing behind, so that the zip library and
// the reading of its stored names can both read the same input.
class ZipInput {
public:
    static ZipInput ofFile(UniqueFd file, std::uint64_t size, std::int64_t modified);
    static ZipInput ofBytes(std::string bytes);

    std::uint64_t size() const { return byteCount; }
    std::int64_t modified() const { return modifiedTime; } // seconds since 1970, 0 for bytes

    // Up to length bytes from offset, fewer only at the end; -1 with errno
    // set when the file cannot be read.
    std::int64_t readAt(std::uint64_t offset, void *into, std::size_t length) const;

    // Every byte, or an empty string with errno set when the file cannot be read.
    std::string allBytes() const;

private:
    UniqueFd file;
    std::string bytes;
    std::uint64_t byteCount = 0;
    std::int64_t modifiedTime = 0;
};

} // namespace bibsources
