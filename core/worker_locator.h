#pragma once

#include <string>

namespace bibsources {

struct WorkerLocation {
    std::string path;  // the helper to start
    std::string error; // set instead of path when none was found
};

// Finds the parser helper "bibsources-parse". The environment variable
// BIBSOURCES_WORKER names it outright when set (tests use it, and a wrong
// value is an error, not a reason to look elsewhere). Otherwise, relative to
// the running program: the libexec directory of an installed tree, then,
// for a program that is itself inside the build tree it was built in, the
// helper's place in that tree, then the program's own directory.
WorkerLocation locateWorker();

} // namespace bibsources
