/* Preloaded into the command under test to stand for a file system that
 * cannot make unnamed files: every open with O_TMPFILE fails as it does there
 * (EOPNOTSUPP), so the program has to fall back to named temporary files. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

#define FORWARD(name, parameters, ...)                                                                       \
    int name(parameters, int flags, ...)                                                                     \
    {                                                                                                        \
        va_list arguments;                                                                                   \
        va_start(arguments, flags);                                                                          \
        const int unnamed = (flags & O_TMPFILE) == O_TMPFILE;                                                \
        const mode_t mode = (flags & O_CREAT) || unnamed ? va_arg(arguments, mode_t) : 0;                    \
        va_end(arguments);                                                                                   \
        if (unnamed) {                                                                                       \
            errno = EOPNOTSUPP;                                                                              \
            return -1;                                                                                       \
        }                                                                                                    \
        int (*next)(parameters, int, ...);                                                                   \
        *(void **)&next = dlsym(RTLD_NEXT, #name);                                                           \
        return next(__VA_ARGS__, flags, mode);                                                               \
    }

#define COMMA ,
FORWARD(openat, int folder COMMA const char *path, folder, path)
FORWARD(openat64, int folder COMMA const char *path, folder, path)
FORWARD(open, const char *path, path)
FORWARD(open64, const char *path, path)
