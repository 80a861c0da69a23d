#include "package.h"

#include "stored_names.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace bibsources {

// libzip reads the archive through this: the original file for reading,
// and, once the package is written, the output for writing. The two are
// different files, so unchanged members are copied from one to the other.
struct Package::Io {
    UniqueFd input;
    std::uint64_t inputSize = 0;
    std::int64_t inputTime = 0;
    std::uint64_t readOffset = 0;
    int output = -1;
    std::uint64_t writeOffset = 0;
    std::uint64_t outputSize = 0;
    zip_error_t error{};
};

namespace {

struct ZipFileClose {
    void operator()(zip_file_t *file) const { zip_fclose(file); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileClose>;

struct ZipSourceFree {
    void operator()(zip_source_t *source) const { zip_source_free(source); }
};
using ZipSourcePtr = std::unique_ptr<zip_source_t, ZipSourceFree>;

std::string megabytes(std::size_t bytes)
{
    return std::to_string(bytes >> 20) + " MB";
}

zip_int64_t fail(Package::Io &io, int zipError, int systemError = 0)
{
    zip_error_set(&io.error, zipError, systemError);
    return -1;
}

zip_int64_t readInput(Package::Io &io, void *data, zip_uint64_t length)
{
    ssize_t got = -1;
    do {
        got = ::pread(io.input.get(), data, length, static_cast<off_t>(io.readOffset));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return fail(io, ZIP_ER_READ, errno);
    }
    io.readOffset += static_cast<std::uint64_t>(got);
    return got;
}

zip_int64_t writeOutput(Package::Io &io, const void *data, zip_uint64_t length)
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

zip_int64_t statInput(Package::Io &io, void *data, zip_uint64_t length)
{
    zip_stat_t *stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &io.error);
    if (!stat) {
        return -1;
    }
    zip_stat_init(stat);
    stat->size = io.inputSize;
    stat->mtime = static_cast<time_t>(io.inputTime);
    stat->valid = ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

zip_int64_t seekTo(
    Package::Io &io, std::uint64_t &offset, std::uint64_t size, void *data, zip_uint64_t length)
{
    const zip_int64_t position = zip_source_seek_compute_offset(offset, size, data, length, &io.error);
    if (position < 0) {
        return -1;
    }
    offset = static_cast<std::uint64_t>(position);
    return 0;
}

zip_int64_t beginWrite(Package::Io &io)
{
    if (io.output < 0) {
        return fail(io, ZIP_ER_RDONLY);
    }
    io.writeOffset = 0;
    io.outputSize = 0;
    return 0;
}

// The archive as libzip sees it: readable and seekable, and writable to the
// output. Freeing is the Package's business.
zip_int64_t archiveCallback(void *state, void *data, zip_uint64_t length, zip_source_cmd_t command)
{
    Package::Io &io = *static_cast<Package::Io *>(state);
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
        return seekTo(io, io.readOffset, io.inputSize, data, length);
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

std::string quoted(std::string_view name)
{
    return "'" + std::string(name) + "'";
}

} // namespace

void ZipDiscard::operator()(zip *archive) const
{
    zip_discard(archive);
}

Package::Package(const std::string &path)
    : filePath(path)
    , io(std::make_unique<Io>())
{
    zip_error_init(&io->error);
    io->input.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info { };
    if (!io->input.valid() || ::fstat(io->input.get(), &info) != 0) {
        failure = "cannot read " + quoted(path) + ": " + std::strerror(errno);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        failure = quoted(path) + " is not a regular file";
        return;
    }
    io->inputSize = static_cast<std::uint64_t>(info.st_size);
    io->inputTime = info.st_mtime;
    zip_error_t error;
    zip_error_init(&error);
    ZipSourcePtr source(zip_source_function_create(archiveCallback, io.get(), &error));
    if (source) {
        archive.reset(zip_open_from_source(source.get(), 0, &error));
    }
    if (!archive) {
        failure = zip_error_code_zip(&error) == ZIP_ER_NOZIP
            ? quoted(path) + " is not a Word document (it is not a zip package)"
            : quoted(path) + " is not a readable zip package (" + zip_error_strerror(&error) + ")";
        zip_error_fini(&error);
        return;
    }
    source.release(); // the archive's now
    zip_error_fini(&error);
    // Which member a name means must be beyond doubt, and no name may
    // change on the way through.
    const StoredNames stored = storedNames(io->input.get());
    const std::string problem = stored.ok() ? memberNamesProblem(stored.names) : stored.error;
    if (!problem.empty()) {
        failure = quoted(path) + " is damaged: " + problem;
        archive.reset();
    }
}

Package::~Package()
{
    archive.reset();
    zip_error_fini(&io->error);
}

std::vector<std::string> Package::memberNames() const
{
    std::vector<std::string> names;
    const zip_int64_t count = archive ? zip_get_num_entries(archive.get(), 0) : 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char *name = zip_get_name(archive.get(), static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        names.emplace_back(name ? name : "");
    }
    return names;
}

std::optional<std::uint64_t> Package::indexOf(std::string_view partName) const
{
    if (!archive) {
        return std::nullopt;
    }
    const zip_int64_t index
        = zip_name_locate(archive.get(), std::string(partName).c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
    return index < 0 ? std::nullopt : std::optional<std::uint64_t>(static_cast<std::uint64_t>(index));
}

bool Package::contains(std::string_view partName) const
{
    return indexOf(partName).has_value();
}

PartText Package::readPart(std::string_view partName, std::size_t limit) const
{
    PartText part;
    const std::optional<std::uint64_t> index = indexOf(partName);
    if (!index) {
        part.error = "it has no part " + quoted(partName);
        return part;
    }
    const std::string tooLarge
        = "its part " + quoted(partName) + " would unpack to more than " + megabytes(limit);
    zip_stat_t stat;
    if (zip_stat_index(archive.get(), *index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
        part.error = "its part " + quoted(partName) + " is damaged (it does not say its size)";
        return part;
    }
    if (stat.size > limit) {
        part.error = tooLarge;
        return part;
    }
    ZipFilePtr file(zip_fopen_index(archive.get(), *index, 0));
    if (!file) {
        const int code = zip_error_code_zip(zip_get_error(archive.get()));
        part.error = code == ZIP_ER_NOPASSWD || code == ZIP_ER_ENCRNOTSUPP
            ? "its part " + quoted(partName) + " is encrypted"
            : "its part " + quoted(partName) + " cannot be read (" + zip_strerror(archive.get()) + ")";
        return part;
    }
    // The size a member claims may be a lie, found out only at its end:
    // read in pieces and stop as soon as it unpacks to more than it claimed.
    part.text.reserve(static_cast<std::size_t>(stat.size));
    std::string piece(64 * 1024, '\0');
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), piece.data(), piece.size());
        if (got < 0) {
            part.error
                = "its part " + quoted(partName) + " is damaged (" + zip_file_strerror(file.get()) + ")";
            part.text = std::string();
            return part;
        }
        if (got == 0) {
            return part;
        }
        if (part.text.size() + static_cast<std::size_t>(got) > stat.size) {
            part.error = "its part " + quoted(partName) + " is damaged (it unpacks to more than it says)";
            part.text = std::string();
            return part;
        }
        part.text.append(piece, 0, static_cast<std::size_t>(got));
    }
}

bool Package::setPart(const std::string &partName, std::string text)
{
    if (!archive) {
        return false;
    }
    newContents.push_back(std::make_unique<std::string>(std::move(text)));
    const std::string &content = *newContents.back();
    zip_source_t *source = zip_source_buffer(archive.get(), content.data(), content.size(), 0);
    const std::optional<std::uint64_t> index = indexOf(partName);
    const bool recorded = source
        && (index ? zip_file_replace(archive.get(), *index, source, 0) == 0
                  : zip_file_add(archive.get(), partName.c_str(), source, ZIP_FL_ENC_UTF_8) >= 0);
    if (!recorded) {
        zip_source_free(source);
        failure = "cannot change the part " + quoted(partName) + " of " + quoted(filePath) + ": "
            + zip_strerror(archive.get());
    }
    return recorded;
}

std::string Package::writeTo(int outputFd)
{
    if (!archive) {
        return failure.empty() ? "the package " + quoted(filePath) + " was already written" : failure;
    }
    if (newContents.empty()) {
        // libzip writes nothing for an archive without changes, which would
        // leave the output empty.
        return "nothing in " + quoted(filePath) + " was changed";
    }
    io->output = outputFd;
    if (zip_close(archive.get()) != 0) {
        return "cannot write " + quoted(filePath) + ": " + zip_strerror(archive.get());
    }
    archive.release(); // zip_close freed it
    return {};
}

} // namespace bibsources
