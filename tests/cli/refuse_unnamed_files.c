/* Preloaded into the command under test to stand for a file system that
 * cannot make unnamed files: every open with O_TMPFILE fails as it does there
 * (EOPNOTSUPP), so the program has to fall back to named temporary files. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

typedef int (*OpenAt)(int, const char *, int, ...);
typedef int (*Open)(const char *, int, ...);

static int refused(int flags)
{
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return 1;
    }
    return 0;
}

static mode_t modeOf(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

#define FORWARD_OPENAT(name)                                                                                 \
    int name(int folder, const char *path, int flags, ...)                                                   \
    {                                                                                                        \
        va_list arguments;                                                                                   \
        va_start(arguments, flags);                                                                          \
        const mode_t mode = modeOf(flags, arguments);                                                        \
        va_end(arguments);                                                                                   \
        if (refused(flags)) {                                                                                \
            return -1;                                                                                       \
        }                                                                                                    \
        OpenAt next;                                                                                         \
        *(void **)&next = dlsym(RTLD_NEXT, #name);                                                           \
        return next(folder, path, flags, mode);                                                              \
    }

#define FORWARD_OPEN(name)                                                                                   \
    int name(const char *path, int flags, ...)                                                               \
    {                                                                                                        \
        va_list arguments;                                                                                   \
        va_start(arguments, flags);                                                                          \
        const mode_t mode = modeOf(flags, arguments);                                                        \
        va_end(arguments);                                                                                   \
        if (refused(flags)) {                                                                                \
            return -1;                                                                                       \
        }                                                                                                    \
        Open next;                                                                                           \
        *(void **)&next = dlsym(RTLD_NEXT, #name);                                                           \
        return next(path, flags, mode);                                                                      \
    }

FORWARD_OPENAT(openat)
FORWARD_OPENAT(openat64)
FORWARD_OPEN(open)
FORWARD_OPEN(open64)
