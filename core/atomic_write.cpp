#include "atomic_write.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

namespace {

// Appended text is handed to the kernel in pieces of this size, so the disk
// is busy while the rest of the document is still being made.
constexpr size_t bufferSize = size_t(1) << 20;

mode_t currentUmask()
{
    // umask() can only be read by setting it; put it straight back. The
    // converter is single-threaded where it writes, so nobody sees the gap.
    const mode_t mask = ::umask(0022);
    ::umask(mask);
    return mask;
}

bool writeAll(int fd, std::string_view contents)
{
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        contents.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

} // namespace

std::string directoryOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

AtomicFile::AtomicFile(std::string targetPath)
    : path(std::move(targetPath))
{
    const std::string quoted = "cannot write '" + path + "': ";
    struct stat target { };
    if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        error = quoted + "it is a directory";
        return;
    }
    // Write beside the target, then rename over it: a reader never sees half
    // a Sources.xml, and an old one is replaced in one step.
    temporaryPath = directoryOf(path) + "/.Sources.xml.XXXXXX";
    fd = ::mkostemp(temporaryPath.data(), O_CLOEXEC);
    if (fd < 0) {
        error = quoted + std::strerror(errno);
        temporaryPath.clear();
        return;
    }
    // mkostemp makes the file 0600; a Sources.xml is an ordinary document.
    if (::fchmod(fd, 0666 & ~currentUmask()) != 0) {
        error = quoted + std::strerror(errno);
    }
    buffer.reserve(bufferSize);
}

AtomicFile::~AtomicFile()
{
    if (fd >= 0) {
        ::close(fd);
    }
    if (!temporaryPath.empty()) {
        ::unlink(temporaryPath.c_str());
    }
}

bool AtomicFile::flushBuffer()
{
    if (error.empty() && !writeAll(fd, buffer)) {
        error = "cannot write '" + path + "': " + std::strerror(errno);
    }
    buffer.clear();
    return error.empty();
}

void AtomicFile::append(std::string_view text)
{
    if (!error.empty()) {
        return;
    }
    if (buffer.size() + text.size() > bufferSize) {
        flushBuffer();
        if (text.size() >= bufferSize) {
            if (error.empty() && !writeAll(fd, text)) {
                error = "cannot write '" + path + "': " + std::strerror(errno);
            }
            return;
        }
    }
    buffer.append(text);
}

std::string AtomicFile::commit()
{
    if (!flushBuffer()) {
        return error;
    }
    const std::string quoted = "cannot write '" + path + "': ";
    if (::fsync(fd) != 0) {
        return error = quoted + std::strerror(errno);
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        return error = quoted + std::strerror(errno);
    }
    if (::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        return error = quoted + std::strerror(errno);
    }
    temporaryPath.clear(); // it is the target now
    return {};
}

} // namespace bibsources
