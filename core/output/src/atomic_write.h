#pragma once

#include "unique_fd.h"

#include <functional>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace bibsources {

// A document that reaches its destination whole or not at all. Text goes into
// a temporary file as it is appended, so a large document is written while it
// is still being produced and memory stays flat; commit() puts it in place.
// Until then the destination is untouched, and a document that is never
// committed leaves no trace.
//
// Where the document goes decides how it is put in place:
// - a regular file, or a name that does not exist yet: the temporary file is
//   made in the same folder and renamed over it in one step. A symbolic link
//   is followed, so the file it points to is replaced and the link stays. A
//   replaced file keeps its permission bits (and, for root, its owner and
//   group); a new one gets those of an ordinary new file (0666 less the umask).
// - an existing device, FIFO or socket: the document waits in an unnamed file
//   in the spool folder and is copied into the destination at commit; the
//   destination itself is never replaced.
// - an open descriptor (standard output): the same, copied into it.
//
// Every check that can fail before the document is made (the folder, the
// permissions, the temporary file) is done by the constructor: error() is
// then set, and a caller can give up before it reads anything.
class AtomicFile {
public:
    // spoolFolder: where a document for a device, FIFO or socket waits; empty
    // means /tmp.
    explicit AtomicFile(std::string path, std::string spoolFolder = {});
    // A document for an open descriptor, which stays the caller's.
    AtomicFile(int outputFd, std::string spoolFolder);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    // Empty, or the sentence saying why the document cannot be written.
    const std::string &error() const { return failure; }

    // Adds text to the document; a failure is kept and reported by commit().
    void append(std::string_view text);

    // The temporary file itself, for a writer that seeks instead of
    // appending (a zip archive); -1 unless the destination is a file to
    // replace and the file could be made. Not to be mixed with append().
    int temporaryFile() const { return kind == Kind::Replace && failure.empty() ? file.get() : -1; }

    // Puts the document in place. Returns an empty string on success, else a
    // sentence saying why it could not be written; the destination is then as
    // it was (a device or socket may hold part of it when the copy failed).
    std::string commit();

    // The same, but the file is replaced only if stillCurrent(), called just
    // before the replace, returns true; otherwise it is left as it is,
    // commit() returns a sentence saying so and replacedNothing() is true.
    // For a document built on the file's own content, which another program
    // may have saved again in the meantime.
    std::string commitIf(const std::function<bool()> &stillCurrent);
    bool replacedNothing() const { return notCurrent; }

private:
    enum class Kind { Replace, Stream };

    void openReplacement(const std::string &target);
    bool createTemporaryFile();
    bool createUnderFreshName(const std::function<bool(const char *name)> &create);
    void openSpool(const std::string &spoolFolder);
    bool flushBuffer();
    std::string linkIntoFolder(const std::function<bool()> &stillCurrent);
    std::string copyToDestination();
    std::string fail(const std::string &sentence);

    std::string path; // as the caller named it, for messages
    Kind kind = Kind::Replace;
    UniqueFd file; // the temporary file the text goes into
    UniqueFd folder; // Replace: the folder of the file replaced
    std::string folderPath; // Replace: its name, for messages and the signal handler
    std::string baseName; // Replace: the name of that file in its folder
    std::string namedTemporary; // Replace: the temporary file's name, while it has one
    int slot = -1; // Replace: its place among the files removed on a signal
    bool keepAttributes = false;
    bool notCurrent = false;
    struct stat replaced { };
    int outputFd = -1; // Stream: the caller's descriptor, or -1 to open `path` at commit
    std::string buffer;
    std::string writeFailure; // how a failed write of the temporary file begins its message
    std::string failure;
};

// The folder a file lives in: "." for a bare name, "/" for a file in the root.
std::string directoryOf(std::string_view path);

} // namespace bibsources
