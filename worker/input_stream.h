#pragma once

#include <cstdint>
#include <cstdio>

namespace bibsources::worker {

// A read-only stdio stream over `fd`, positioned at `offset`, which is on line
// `line` of the input. A worker that resumes in the middle of a file starts
// the parser there; the stream then first yields line - 1 line feeds, which
// make the parser count lines exactly as if it had read everything before,
// at no cost but one byte per line (a line feed between entries means
// nothing else to it).
struct InputStream {
    std::FILE *file = nullptr;
    // Where in the input the parser has read up to, given ftell(file).
    std::uint64_t inputOffset(long told) const;

    std::uint64_t offset = 0;
    std::uint64_t leadingNewlines = 0;
};

InputStream openInputStream(int fd, std::uint64_t offset, std::uint64_t line);

} // namespace bibsources::worker
