#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace bibsources::cli {

enum ExitStatus { Success = 0, ConversionFailed = 1, UsageError = 2 };

// The whole command: parses the arguments (without the program name),
// converts, writes the summary and every message to `err`, and writes the
// document to `out` only for "-o -". Returns the exit status.
int run(const std::vector<std::string> &arguments, std::ostream &out, std::ostream &err);

} // namespace bibsources::cli
