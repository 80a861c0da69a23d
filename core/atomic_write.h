#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// A file that appears at its path whole or not at all. Text goes into a new
// temporary file beside the target as it is appended, so a large document is
// written while it is still being produced; commit() flushes it to disk and
// renames it over the target in one step. Until then an existing file at the
// target is untouched, and a file that is never committed leaves no trace.
// The new file gets the permissions of an ordinary new file (0666 less the
// umask), not those of a temporary file.
class AtomicFile {
public:
    explicit AtomicFile(std::string path);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Adds text to the file; a failure is kept and reported by commit().
    void append(std::string_view text);

    // Puts the file in place. Returns an empty string on success, else a
    // sentence saying why the file could not be written; then the target is
    // as it was before.
    std::string commit();

private:
    bool flushBuffer();

    std::string path;
    std::string temporaryPath;
    std::string buffer;
    int fd = -1;
    std::string error;
};

// The folder a file lives in: "." for a bare name, "/" for a file in the root.
std::string directoryOf(std::string_view path);

} // namespace bibsources
