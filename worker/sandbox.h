#pragma once

#include <string>

namespace bibsources::worker {

// Confines this process to what parsing needs once its input is open: read
// standard input, write standard output and error, manage memory, and end.
// Opening files, starting processes, sockets and everything else kill the
// process (SIGSYS). Returns an empty string on success, else why it failed.
std::string enterSandbox();

} // namespace bibsources::worker
