#pragma once

#include "unique_fd.h"

#include <string>

namespace bibsources {

struct OpenedInput {
    UniqueFd fd; // open for reading
    std::string error; // set instead of fd when the input is unusable
};

// Opens a .bib for reading and makes sure it is a regular file: a directory
// or a device would make the parser loop or block, so those are refused with
// a sentence a person can act on ("cannot open 'x.bib': it is a directory").
OpenedInput openInputFile(const std::string &path);

} // namespace bibsources
