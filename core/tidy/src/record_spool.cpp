#include "record_spool.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace bibsources {

namespace {

constexpr std::size_t bufferSize = std::size_t(1) << 20;
constexpr std::size_t replayChunk = std::size_t(64) << 10;

} // namespace

RecordSpool::RecordSpool(std::string folder)
    : folder(folder.empty() ? "/tmp" : std::move(folder))
{
}

bool RecordSpool::open()
{
    if (file.valid()) {
        return true;
    }
    // A file system without unnamed files leaves memory, which is what the
    // records would have taken without a spool.
    file.reset(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (!file.valid()) {
        const int reason = errno;
        file.reset(::memfd_create("bibsources-records", MFD_CLOEXEC));
        if (!file.valid()) {
            fail("cannot create a temporary file in '" + folder + "'", reason);
        }
    }
    return file.valid();
}

void RecordSpool::fail(const std::string &doing, int reason)
{
    if (failure.empty()) {
        failure = doing + ": " + std::strerror(reason);
    }
}

bool RecordSpool::flush()
{
    if (buffer.empty()) {
        return failure.empty();
    }
    if (failure.empty() && open()) {
        if (writeAll(file.get(), buffer)) {
            written += buffer.size();
        } else {
            fail("cannot keep records in '" + folder + "' while they wait", errno);
        }
    }
    buffer.clear();
    return failure.empty();
}

void RecordSpool::append(std::string_view text)
{
    if (buffer.size() + text.size() > bufferSize) {
        flush();
    }
    if (failure.empty()) {
        buffer.append(text);
    }
}

void RecordSpool::replay(std::uint64_t length, const TextSink &sink)
{
    if (length == 0 || (written - replayed < length && !flush())) {
        return;
    }
    while (length > 0 && failure.empty()) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(length, replayChunk));
        const std::string bytes = readAt(file.get(), replayed, chunk);
        if (bytes.size() != chunk) {
            fail("cannot read back records kept in '" + folder + "'", EIO);
            return;
        }
        sink(bytes);
        replayed += chunk;
        length -= chunk;
    }
    // Everything kept has gone on: the file starts over, so a spool that
    // fills and empties many times takes no more room than its largest fill.
    if (replayed == written && buffer.empty() && ::ftruncate(file.get(), 0) == 0) {
        written = replayed = 0;
        ::lseek(file.get(), 0, SEEK_SET);
    }
}

} // namespace bibsources
