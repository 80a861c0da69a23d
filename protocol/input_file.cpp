#include "input_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace bibsources {

namespace {

// Why a file that opened cannot be parsed, or nothing when it can.
std::string unusableBecause(int fd)
{
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        return std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return "it is a directory, not a BibTeX file";
    }
    if (!S_ISREG(info.st_mode)) {
        return "it is not a regular file";
    }
    return {};
}

} // namespace

OpenedInput openInputFile(const std::string &path)
{
    OpenedInput result;
    // O_NONBLOCK so that opening a FIFO without a writer cannot hang; it is
    // refused below anyway, and regular files ignore the flag.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    const std::string reason = fd.valid() ? unusableBecause(fd.get()) : std::strerror(errno);
    if (!reason.empty()) {
        result.error = "cannot open '" + path + "': " + reason;
        return result;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    result.fd = std::move(fd);
    return result;
}

} // namespace bibsources
