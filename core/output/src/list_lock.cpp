#include "list_lock.h"

#include "atomic_write.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>

namespace bibsources {

bool FileStamp::operator==(const FileStamp &other) const
{
    return exists == other.exists && device == other.device && inode == other.inode && size == other.size
        && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

FileStamp stampOf(const struct stat &info)
{
    return FileStamp{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

FileStamp stampOf(const std::string &path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 ? stampOf(info) : FileStamp{};
}

ListLock::ListLock(const std::string &path, const ListLockHooks &hooks)
{
    // The file the name stands for can change while the lock is awaited:
    // another run replaces the list, or makes the first one. The lock counts
    // only once it is held on what the name stands for now.
    for (;;) {
        held.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        hasList = held.valid();
        if (!hasList && errno != ENOENT) {
            failure = "cannot read '" + path + "': " + std::strerror(errno);
            return;
        }
        if (!hasList) {
            held.reset(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!held.valid()) {
                failure = "cannot write '" + path + "': " + std::strerror(errno);
                return;
            }
        }
        if (!lock(hooks, path)) {
            return;
        }
        struct stat locked { };
        ::fstat(held.get(), &locked);
        const FileStamp now = stampOf(path);
        if (hasList ? now.exists && now.device == locked.st_dev && now.inode == locked.st_ino : !now.exists) {
            return;
        }
    }
}

bool ListLock::lock(const ListLockHooks &hooks, const std::string &path)
{
    const auto start = std::chrono::steady_clock::now();
    while (::flock(held.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        // Some network file systems have no locks: runs on one machine
        // then race, but the check before the replace still keeps a list
        // someone else wrote from being overwritten.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) {
            return true;
        }
        if (errno != EWOULDBLOCK) {
            failure = "cannot lock '" + path + "': " + std::strerror(errno);
            return false;
        }
        if (hooks.stop.stop_requested()) {
            wasStopped = true;
            failure = "stopped while waiting for another run merging into '" + path + "'";
            return false;
        }
        if (!toldWaiting && std::chrono::steady_clock::now() - start >= std::chrono::seconds(1)) {
            toldWaiting = true;
            if (hooks.waiting) {
                hooks.waiting();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace bibsources
