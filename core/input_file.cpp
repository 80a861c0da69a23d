#include "input_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

OpenedInput openInputFile(const std::string &path)
{
    OpenedInput result;
    const std::string quoted = "'" + path + "'";
    // O_NONBLOCK so that opening a FIFO without a writer cannot hang; it is
    // refused below anyway, and regular files ignore the flag.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        result.error = "cannot open " + quoted + ": " + std::strerror(errno);
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        result.error = "cannot open " + quoted + ": " + std::strerror(errno);
        ::close(fd);
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.error = "cannot open " + quoted + ": it is a directory, not a BibTeX file";
        ::close(fd);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = "cannot open " + quoted + ": it is not a regular file";
        ::close(fd);
        return result;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    result.fd = fd;
    return result;
}

} // namespace bibsources
