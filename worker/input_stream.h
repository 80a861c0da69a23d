#pragma once

#include <cstdint>
#include <cstdio>

namespace bibsources::worker {

// A read-only stdio stream over `fd` that first yields `leadingNewlines`
// line feeds. A worker that resumes in the middle of a file starts the
// parser there; the line feeds make the parser count lines exactly as if it
// had read everything before, at no cost but one byte per line (a line feed
// between entries means nothing else to it).
//
// ftell() works on the stream: it counts the line feeds too.
std::FILE *openInputStream(int fd, std::uint64_t leadingNewlines);

} // namespace bibsources::worker
