#pragma once

#include <string>

namespace bibsources {

struct WorkerLocation {
    std::string path; // the helper to start
    std::string error; // set instead of path when none was found
};

// Finds the parser helper "bibsources-parse" relative to the running program: the libexec directory of an
// installed tree, then, for a program that is itself inside the build tree it was built in, the helper's
// place in that tree, then the program's own directory.
WorkerLocation locateWorker();

} // namespace bibsources
