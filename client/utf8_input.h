#pragma once

#include "unique_fd.h"

#include <cstdint>
#include <string>

namespace bibsources {

// One input opened for reading as UTF-8 from any offset, by whichever
// reader reads it.
struct Utf8Input {
    UniqueFd fd; // a regular file, or an anonymous in-memory one
    std::string fileName; // as messages name it: the path, or "(standard input)"
    std::string error; // set instead of fd, in words naming the input
    std::uint64_t textStart = 0; // past a UTF-8 byte-order mark

    bool ok() const { return error.empty(); }
};

// Opens `inputPath` ("-": standard input, copied once into an in-memory
// file, so that it can be read again and from anywhere). Only a regular
// file is opened (input_file.h). A UTF-8 byte-order mark is stepped over;
// UTF-16 and UTF-32 text is turned into UTF-8 first, in an in-memory file.
Utf8Input openUtf8Input(const std::string &inputPath);

} // namespace bibsources
