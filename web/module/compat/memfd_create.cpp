// memfd_create for the WebAssembly build, whose C library lacks it: an
// anonymous file in the module's memory file system, made under /tmp and
// unlinked at once, so it lives exactly as long as its descriptor, as a
// memfd does.

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

extern "C" int memfd_create(const char *, unsigned int flags)
{
    static_cast<void>(flags); // no exec to close it on
    for (unsigned attempt = 0;; ++attempt) {
        const std::string path = "/tmp/memfd-" + std::to_string(attempt);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd >= 0) {
            ::unlink(path.c_str());
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
}
