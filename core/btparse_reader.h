#pragma once

#include "entry_reader.h"

#include <cstdio>
#include <string>

namespace bibsources {

// Runs btparse over an open stream in this process and hands each cleanly
// parsed, non-comment entry to sink, with its contributor fields already split
// into names. `fileName` is what the parser's own messages (written to stderr
// by the library) call the input.
//
// btparse is not safe against hostile input (it can crash or exit) and keeps
// process-wide state; the converter therefore runs this inside the worker
// process, and only the worker and tests call it directly.
ReadReport readEntriesFromStream(std::FILE *stream, const std::string &fileName,
                                 const EntrySink &sink);

// Opens `inputPath` ("-" for standard input) and reads it as above. A path
// that is not a regular file, or cannot be opened, is reported in the result.
ReadReport readEntriesInProcess(const std::string &inputPath, const EntrySink &sink);

} // namespace bibsources
