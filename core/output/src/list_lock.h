#pragma once

#include "unique_fd.h"

#include <functional>
#include <stop_token>
#include <string>
#include <sys/stat.h>

namespace bibsources {

// What a file looked like when it was read: another program that saves it
// in between changes at least one of these.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    bool operator==(const FileStamp &other) const;
};

FileStamp stampOf(const struct stat &info);
// The stamp of whatever path names now, following links.
FileStamp stampOf(const std::string &path);

struct ListLockHooks {
    std::function<void()> waiting; // called once, when the lock has not come within a second
    std::stop_token stop; // gives up waiting
};

// An advisory lock (flock) that runs of this program merging into one list
// take before they read it and keep until it is replaced. The list file
// itself is locked, or its folder while there is no list yet; a lock on a
// file another run has since replaced is dropped and taken again on the new
// one. Programs that take no lock (a word processor) are not kept out: the
// caller checks the list's stamp before it replaces it. Where the file
// system has no locks, there is no lock.
class ListLock {
public:
    ListLock() = default;
    // Waits for the lock, polling, until it is free or a stop is requested.
    ListLock(const std::string &path, const ListLockHooks &hooks);

    // Empty, or the sentence saying why there is no lock.
    const std::string &error() const { return failure; }
    bool stopped() const { return wasStopped; }
    // The locked list, open for reading, or -1 when there is none.
    int listFd() const { return hasList ? held.get() : -1; }

private:
    bool lock(const ListLockHooks &hooks, const std::string &path);

    UniqueFd held;
    bool hasList = false;
    bool toldWaiting = false;
    bool wasStopped = false;
    std::string failure;
};

} // namespace bibsources
