#include "atomic_write.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

namespace {

std::string directoryOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

std::string writeFileAtomically(const std::string &path, std::string_view contents)
{
    const std::string quoted = "'" + path + "'";
    struct stat target { };
    if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
        return "cannot write " + quoted + ": it is a directory";
    }

    // Write beside the target, then rename over it: a reader never sees half
    // a Sources.xml, and an old one is replaced in one step.
    std::string temporary = directoryOf(path) + "/.Sources.xml.XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return "cannot write " + quoted + ": " + std::strerror(errno);
    }
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return "cannot write " + quoted + ": " + std::strerror(error);
    };
    // mkostemp makes the file 0600; a Sources.xml is an ordinary document.
    if (::fchmod(fd, 0666 & ~currentUmask()) != 0) {
        return fail(errno);
    }
    if (!writeAll(fd, contents) || ::fsync(fd) != 0) {
        return fail(errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return "cannot write " + quoted + ": " + std::strerror(error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return "cannot write " + quoted + ": " + std::strerror(error);
    }
    return {};
}

} // namespace bibsources
