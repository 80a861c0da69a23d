#include "atomic_write.h"

#include "bibsources/conversion.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace bibsources {

namespace {

// Appended text is handed to the kernel in pieces of this size, so the disk
// is busy while the rest of the document is still being made.
constexpr size_t bufferSize = size_t(1) << 20;

// The named temporary files that exist right now, for a signal handler to
// remove (removeTemporaryFiles). A handler may only read what is stored
// before its slot is marked armed, so a slot is filled while "busy" and
// armed last; lock-free atomics are safe to read in a handler.
enum SlotState { FreeSlot, BusySlot, ArmedSlot };
struct TemporarySlot {
    std::atomic<int> state{FreeSlot};
    char path[PATH_MAX]{};
};
TemporarySlot temporarySlots[16];

// Returns the slot now holding `path`, or -1 when every slot is taken or the
// path is too long: that file is then only left behind by a signal.
int armTemporaryPath(const std::string &path)
{
    if (path.size() >= PATH_MAX) {
        return -1;
    }
    for (int i = 0; i < int(std::size(temporarySlots)); ++i) {
        int expected = FreeSlot;
        if (temporarySlots[i].state.compare_exchange_strong(expected, BusySlot)) {
            std::memcpy(temporarySlots[i].path, path.c_str(), path.size() + 1);
            temporarySlots[i].state.store(ArmedSlot);
            return i;
        }
    }
    return -1;
}

void disarmTemporaryPath(int &slot)
{
    if (slot >= 0) {
        temporarySlots[slot].state.store(FreeSlot);
        slot = -1;
    }
}

// A name no other file in the folder is likely to have, and recognisably
// ours: ".out.xml.k3Fz9QaB" for out.xml.
std::string temporaryNameFor(const std::string &baseName)
{
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    // Should the kernel have no random bytes to give, the clock's do: a
    // name already taken only costs another try.
    unsigned char random[8]{};
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != sizeof random) {
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        std::memcpy(random, &now, sizeof random);
    }
    std::string name = "." + baseName + ".";
    for (unsigned char byte : random) {
        name += letters[byte % (sizeof letters - 1)];
    }
    return name;
}

std::string baseNameOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The folder as a person would name it in a message: "nw/", "./", "/".
std::string folderForMessages(const std::string &folder)
{
    return folder.ends_with('/') ? folder : folder + "/";
}

// What `path` names once symbolic links are followed: a path that is not a
// link (or names nothing yet). Relative link texts count from the link's own
// folder. Empty, with errno set, when a link cannot be read or links loop.
std::string withoutLinks(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info { };
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return path;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0) {
            return {};
        }
        target.resize(static_cast<size_t>(length));
        path = target.starts_with('/') ? target : directoryOf(path) + "/" + target;
    }
    errno = ELOOP;
    return {};
}

UniqueFd connectToSocket(const std::string &path)
{
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return UniqueFd();
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.valid()
        && ::connect(socket.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        socket.reset();
    }
    return socket;
}

} // namespace

void removeTemporaryFiles() noexcept
{
    for (TemporarySlot &slot : temporarySlots) {
        if (slot.state.load() == ArmedSlot) {
            ::unlink(slot.path);
        }
    }
}

std::string directoryOf(std::string_view path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return ".";
    }
    return slash == 0 ? "/" : std::string(path.substr(0, slash));
}

AtomicFile::AtomicFile(std::string targetPath, std::string spoolFolder)
    : path(std::move(targetPath))
{
    const std::string quoted = "cannot write '" + path + "': ";
    struct stat existing { };
    if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode)) {
        if (S_ISDIR(existing.st_mode)) {
            fail(quoted + "it is a directory");
            return;
        }
        // A device, FIFO or socket is written into, never replaced: the
        // system's /dev/null must stay a device.
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
            fail(quoted + std::strerror(errno));
            return;
        }
        kind = Kind::Stream;
        openSpool(spoolFolder);
        return;
    }
    const std::string target = withoutLinks(path);
    if (target.empty()) {
        fail(quoted + std::strerror(errno));
        return;
    }
    openReplacement(target);
}

AtomicFile::AtomicFile(int fd, std::string spoolFolder)
    : path("standard output")
    , kind(Kind::Stream)
    , outputFd(fd)
{
    openSpool(spoolFolder);
}

AtomicFile::~AtomicFile()
{
    if (!namedTemporary.empty()) {
        ::unlinkat(folder.get(), namedTemporary.c_str(), 0);
    }
    disarmTemporaryPath(slot);
}

std::string AtomicFile::fail(const std::string &sentence)
{
    if (failure.empty()) {
        failure = sentence;
    }
    return failure;
}

void AtomicFile::openReplacement(const std::string &target)
{
    folderPath = directoryOf(target);
    baseName = baseNameOf(target);
    writeFailure = "cannot write '" + path + "': ";
    if (::stat(target.c_str(), &replaced) == 0) {
        // The rename would succeed in a writable folder, but a file the user
        // may not change is not theirs to replace.
        if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            fail("cannot replace '" + path
                + "': " + (errno == EACCES ? "permission denied" : std::strerror(errno)));
            return;
        }
        keepAttributes = true;
    } else if (errno != ENOENT) {
        fail("cannot write '" + path + "': " + std::strerror(errno));
        return;
    }
    folder.reset(::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        fail("cannot write '" + path + "': " + std::strerror(errno));
        return;
    }
    const std::string cannotCreate
        = "cannot create a temporary file in '" + folderForMessages(folderPath) + "': ";
    if (!createTemporaryFile()) {
        fail(cannotCreate + std::strerror(errno));
        return;
    }
    if (keepAttributes) {
        // Owner first: a change of owner clears the set-user-ID bits that
        // fchmod then puts back. Only root may give a file away; others keep
        // the group where they belong to it. Where the file system has no
        // owners to keep, there is nothing to lose, so a refusal is ignored.
        [[maybe_unused]] const int ignored
            = ::fchown(file.get(), ::geteuid() == 0 ? replaced.st_uid : uid_t(-1), replaced.st_gid);
        if (::fchmod(file.get(), replaced.st_mode & 07777) != 0) {
            fail(cannotCreate + std::strerror(errno));
        }
    }
    buffer.reserve(bufferSize);
}

bool AtomicFile::createTemporaryFile()
{
    // Unnamed until commit: a run killed outright (SIGKILL, a file size
    // limit) leaves nothing behind. Some file systems refuse O_TMPFILE; there
    // the file has a name from the start, and a signal handler removes it.
    file.reset(::openat(folder.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file.valid() || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
        return file.valid();
    }
    return createUnderFreshName([this](const char *name) {
        file.reset(::openat(folder.get(), name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
        return file.valid();
    });
}

bool AtomicFile::createUnderFreshName(const std::function<bool(const char *name)> &create)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        namedTemporary = temporaryNameFor(baseName);
        // Registered before the file can exist under the name, so that no
        // signal finds it unregistered.
        slot = armTemporaryPath(folderPath + "/" + namedTemporary);
        if (create(namedTemporary.c_str())) {
            return true;
        }
        const int reason = errno;
        namedTemporary.clear();
        disarmTemporaryPath(slot);
        errno = reason;
        if (reason != EEXIST) {
            return false;
        }
    }
    return false;
}

void AtomicFile::openSpool(const std::string &spoolFolder)
{
    // A descriptor cannot take anything back, so the document waits until
    // every input is known to be good; on disk, not in memory, where there is
    // room for one.
    const std::string folderName = folderForMessages(spoolFolder.empty() ? "/tmp" : spoolFolder);
    writeFailure = "cannot keep the document in '" + folderName + "' until it is complete: ";
    file.reset(::open(folderName.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!file.valid()) {
        const int reason = errno;
        writeFailure = "cannot keep the document in memory until it is complete: ";
        file.reset(::memfd_create("bibsources-document", MFD_CLOEXEC));
        if (!file.valid()) {
            fail("cannot create a temporary file in '" + folderName + "': " + std::strerror(reason));
            return;
        }
    }
    buffer.reserve(bufferSize);
}

bool AtomicFile::flushBuffer()
{
    if (failure.empty() && !writeAll(file.get(), buffer)) {
        fail(writeFailure + std::strerror(errno));
    }
    buffer.clear();
    return failure.empty();
}

void AtomicFile::append(std::string_view text)
{
    if (!failure.empty()) {
        return;
    }
    if (buffer.size() + text.size() > bufferSize) {
        flushBuffer();
        if (text.size() >= bufferSize) {
            if (failure.empty() && !writeAll(file.get(), text)) {
                fail(writeFailure + std::strerror(errno));
            }
            return;
        }
    }
    buffer.append(text);
}

std::string AtomicFile::commit()
{
    return commitIf({});
}

std::string AtomicFile::commitIf(const std::function<bool()> &stillCurrent)
{
    if (!flushBuffer()) {
        return failure;
    }
    return kind == Kind::Replace ? linkIntoFolder(stillCurrent) : copyToDestination();
}

// Gives the finished file a name in the target's folder (an unnamed one
// through /proc, or by descriptor where /proc is missing) and renames that
// over the target.
std::string AtomicFile::linkIntoFolder(const std::function<bool()> &stillCurrent)
{
    const std::string quoted = "cannot write '" + path + "': ";
    if (::fsync(file.get()) != 0) {
        return fail(quoted + std::strerror(errno));
    }
    const std::string self = "/proc/self/fd/" + std::to_string(file.get());
    const auto link = [&](const char *name) {
        return ::linkat(AT_FDCWD, self.c_str(), folder.get(), name, AT_SYMLINK_FOLLOW) == 0
            || (errno == ENOENT && ::linkat(file.get(), "", folder.get(), name, AT_EMPTY_PATH) == 0);
    };
    if (namedTemporary.empty() && !createUnderFreshName(link)) {
        return fail(quoted + std::strerror(errno));
    }
    if (!file.reset()) {
        return fail(quoted + std::strerror(errno));
    }
    // Checked last, after the slow flush to disk, so that the moment between
    // the check and the replace is as short as it can be.
    if (stillCurrent && !stillCurrent()) {
        notCurrent = true;
        return fail("'" + path + "' was changed by another program while it was being merged into");
    }
    if (::renameat(folder.get(), namedTemporary.c_str(), folder.get(), baseName.c_str()) != 0) {
        return fail(quoted + std::strerror(errno));
    }
    namedTemporary.clear(); // it is the target now
    disarmTemporaryPath(slot);
    return {};
}

std::string AtomicFile::copyToDestination()
{
    UniqueFd opened;
    int destination = outputFd;
    if (destination < 0) {
        struct stat info { };
        const bool isSocket = ::stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
        // A FIFO opens once a reader does, so this may wait: that is what
        // writing into a FIFO means.
        opened = isSocket ? connectToSocket(path)
                          : UniqueFd(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
        destination = opened.get();
    }
    if (destination < 0 || ::lseek(file.get(), 0, SEEK_SET) != 0 || !copyAll(file.get(), destination)) {
        return fail(outputFd >= 0 ? std::string("cannot write to standard output: ") + std::strerror(errno)
                                  : "cannot write '" + path + "': " + std::strerror(errno));
    }
    if (opened.valid() && !opened.reset()) {
        return fail("cannot write '" + path + "': " + std::strerror(errno));
    }
    return {};
}

} // namespace bibsources
