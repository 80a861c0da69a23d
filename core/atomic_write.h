#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// Writes `contents` to `path` as a whole: into a new temporary file beside it,
// flushed to disk, then renamed over `path`. On failure the temporary file is
// removed, an existing file at `path` is left as it was, and the result is a
// sentence saying why; on success the result is empty. The new file gets the
// permissions of an ordinary new file (0666 less the umask).
std::string writeFileAtomically(const std::string &path, std::string_view contents);

} // namespace bibsources
