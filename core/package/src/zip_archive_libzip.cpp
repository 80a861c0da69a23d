#include "zip_archive.h"

#include "stored_names.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <zip.h>

namespace bibsources {

// libzip reads the archive through this: the input for reading, and, once
// the archive is written, the output for writing. The two are different
// files, so unchanged members are copied from one to the other.
struct ZipArchive::State {
    ZipInput input;
    std::uint64_t readOffset = 0;
    int output = -1;
    std::uint64_t writeOffset = 0;
    std::uint64_t outputSize = 0;
    zip_error_t error{};
    zip_t *archive = nullptr; // discarded with the state unless written
    ZipOpening opening;
    std::vector<std::string> names;

    explicit State(ZipInput input)
        : input(std::move(input))
    {
        zip_error_init(&error);
    }
    ~State()
    {
        if (archive) {
            zip_discard(archive);
        }
        zip_error_fini(&error);
    }
    State(const State &) = delete;
    State &operator=(const State &) = delete;
};

namespace {

using State = ZipArchive::State;

struct ZipFileClose {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileClose>;

struct ZipSourceFree {
    void operator()(zip_source_t *source) const { zip_source_free(source); }
};
using ZipSourcePtr = std::unique_ptr<zip_source_t, ZipSourceFree>;

zip_int64_t fail(State &io, int zipError, int systemError = 0)
{
    zip_error_set(&io.error, zipError, systemError);
    return -1;
}

zip_int64_t readInput(State &io, void *data, zip_uint64_t length)
{
    const std::int64_t got = io.input.readAt(io.readOffset, data, length);
    if (got < 0) {
        return fail(io, ZIP_ER_READ, errno);
    }
    io.readOffset += static_cast<std::uint64_t>(got);
    return got;
}

zip_int64_t writeOutput(State &io, const void *data, zip_uint64_t length)
{
    const char *bytes = static_cast<const char *>(data);
    zip_uint64_t written = 0;
    while (written < length) {
        const ssize_t put = ::pwrite(
            io.output, bytes + written, length - written, static_cast<off_t>(io.writeOffset + written));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return fail(io, ZIP_ER_WRITE, errno);
        }
        written += static_cast<zip_uint64_t>(put);
    }
    io.writeOffset += written;
    io.outputSize = std::max(io.outputSize, io.writeOffset);
    return static_cast<zip_int64_t>(written);
}

zip_int64_t statInput(State &io, void *data, zip_uint64_t length)
{
    zip_stat_t *stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &io.error);
    if (!stat) {
        return -1;
    }
    zip_stat_init(stat);
    stat->size = io.input.size();
    stat->mtime = static_cast<time_t>(io.input.modified());
    stat->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

zip_int64_t seekTo(State &io, std::uint64_t &offset, std::uint64_t size, void *data, zip_uint64_t length)
{
    const zip_int64_t position = zip_source_seek_compute_offset(offset, size, data, length, &io.error);
    if (position < 0) {
        return -1;
    }
    offset = static_cast<std::uint64_t>(position);
    return 0;
}

zip_int64_t beginWrite(State &io)
{
    if (io.output < 0) {
        return fail(io, ZIP_ER_RDONLY);
    }
    io.writeOffset = 0;
    io.outputSize = 0;
    return 0;
}

// The archive as libzip sees it: readable and seekable, and writable to the
// output. Freeing is the state's business.
zip_int64_t archiveCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    State &io = *static_cast<State *>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        io.readOffset = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return readInput(io, data, length);
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
    case ZIP_SOURCE_ROLLBACK_WRITE:
        return 0;
    case ZIP_SOURCE_STAT:
        return statInput(io, data, length);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&io.error, data, length);
    case ZIP_SOURCE_SEEK:
        return seekTo(io, io.readOffset, io.input.size(), data, length);
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(io.readOffset);
    case ZIP_SOURCE_BEGIN_WRITE:
        return beginWrite(io);
    case ZIP_SOURCE_WRITE:
        return writeOutput(io, data, length);
    case ZIP_SOURCE_SEEK_WRITE:
        return seekTo(io, io.writeOffset, io.outputSize, data, length);
    case ZIP_SOURCE_TELL_WRITE:
        return static_cast<zip_int64_t>(io.writeOffset);
    case ZIP_SOURCE_COMMIT_WRITE:
        return ::ftruncate(io.output, static_cast<off_t>(io.outputSize)) == 0 ? 0
                                                                              : fail(io, ZIP_ER_WRITE, errno);
    case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_WRITABLE;
    default:
        // Removing the file (an archive left with no members) is never
        // asked of a package that keeps its parts.
        return fail(io, ZIP_ER_OPNOTSUPP);
    }
}

ZipOpening openArchive(State &state)
{
    zip_error_t error;
    zip_error_init(&error);
    ZipSourcePtr source(zip_source_function_create(archiveCallback, &state, &error));
    if (source) {
        state.archive = zip_open_from_source(source.get(), 0, &error);
    }
    ZipOpening opening;
    if (!state.archive) {
        opening.fault
            = zip_error_code_zip(&error) == ZIP_ER_NOZIP ? ZipOpenFault::NotZip : ZipOpenFault::Unreadable;
        opening.detail = zip_error_strerror(&error);
    } else {
        source.release(); // the archive's now
    }
    zip_error_fini(&error);
    return opening;
}

// The member's bytes, read in pieces: the size a member claims may be a
// lie, found out only at its end, so reading stops as soon as it unpacks to
// more than it claimed.
ZipRead readClaimed(zip_file_t *file, std::uint64_t claimed)
{
    ZipRead read;
    read.bytes.reserve(static_cast<std::size_t>(claimed));
    std::string piece(64 * 1024, '\0');
    for (;;) {
        const zip_int64_t got = zip_fread(file, piece.data(), piece.size());
        if (got < 0) {
            return {{}, ZipReadFault::Damaged, zip_file_strerror(file)};
        }
        if (got == 0) {
            return read;
        }
        if (read.bytes.size() + static_cast<std::size_t>(got) > claimed) {
            return {{}, ZipReadFault::Longer, {}};
        }
        read.bytes.append(piece, 0, static_cast<std::size_t>(got));
    }
}

} // namespace

ZipArchive::ZipArchive(ZipInput input)
    : state(std::make_unique<State>(std::move(input)))
{
    state->opening = openArchive(*state);
    if (state->opening.fault != ZipOpenFault::None) {
        return;
    }
    StoredNames stored = storedNames(state->input);
    if (!stored.ok() || stored.names.size() != std::size_t(zip_get_num_entries(state->archive, 0))) {
        state->opening.fault = ZipOpenFault::NamesUnreadable;
        return;
    }
    state->names = std::move(stored.names);
}

ZipArchive::~ZipArchive() = default;

const ZipOpening &ZipArchive::opening() const
{
    return state->opening;
}

const std::vector<std::string> &ZipArchive::names() const
{
    return state->names;
}

ZipRead ZipArchive::read(std::size_t index, std::size_t limit) const
{
    zip_stat_t stat;
    if (zip_stat_index(state->archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        return {{}, ZipReadFault::NoSize, {}};
    }
    if (stat.size > limit) {
        return {{}, ZipReadFault::TooLarge, {}};
    }
    ZipFilePtr file(zip_fopen_index(state->archive, index, 0));
    if (!file) {
        const int code = zip_error_code_zip(zip_get_error(state->archive));
        return code == ZIP_ER_NOPASSWD || code == ZIP_ER_ENCRNOTSUPP
            ? ZipRead{{}, ZipReadFault::Encrypted, {}}
            : ZipRead{{}, ZipReadFault::CannotOpen, zip_strerror(state->archive)};
    }
    return readClaimed(file.get(), stat.size);
}

std::string ZipArchive::change(
    std::optional<std::size_t> replaced, const std::string &name, const std::string &content)
{
    zip_source_t *source = zip_source_buffer(state->archive, content.data(), content.size(), 0);
    const bool recorded = source
        && (replaced ? zip_file_replace(state->archive, *replaced, source, 0) == 0
                     : zip_file_add(state->archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) >= 0);
    if (recorded) {
        return {};
    }
    zip_source_free(source);
    return zip_strerror(state->archive);
}

std::string ZipArchive::write(int outputFd)
{
    state->output = outputFd;
    if (zip_close(state->archive) != 0) {
        return zip_strerror(state->archive);
    }
    state->archive = nullptr; // zip_close freed it
    return {};
}

} // namespace bibsources
