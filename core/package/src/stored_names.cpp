#include "stored_names.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

#include <minizip/unzip.h>

namespace bibsources {

namespace {

// minizip reads the file through these: positioned reads on the descriptor
// the package was opened as, so that what is checked is what libzip reads.
struct FdStream {
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
    bool failed = false;
};

FdStream &streamOf(voidpf stream)
{
    return *static_cast<FdStream *>(stream);
}

voidpf openStream(voidpf opaque, const void *, int)
{
    return opaque;
}

uLong readStream(voidpf, voidpf stream, void *buffer, uLong size)
{
    FdStream &file = streamOf(stream);
    ssize_t got = -1;
    do {
        got = ::pread(file.fd, buffer, size, static_cast<off_t>(file.offset));
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        file.failed = true;
        return 0;
    }
    file.offset += static_cast<std::uint64_t>(got);
    return static_cast<uLong>(got);
}

uLong writeStream(voidpf, voidpf stream, const void *, uLong)
{
    streamOf(stream).failed = true;
    return 0;
}

ZPOS64_T tellStream(voidpf, voidpf stream)
{
    return streamOf(stream).offset;
}

long seekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin)
{
    FdStream &file = streamOf(stream);
    const std::uint64_t base = origin == ZLIB_FILEFUNC_SEEK_CUR ? file.offset
        : origin == ZLIB_FILEFUNC_SEEK_END                      ? file.size
                                                                : 0;
    file.offset = base + offset;
    return 0;
}

int closeStream(voidpf, voidpf)
{
    return 0;
}

int streamError(voidpf, voidpf stream)
{
    return streamOf(stream).failed ? 1 : 0;
}

struct UnzipClose {
    void operator()(void *archive) const { unzClose(archive); }
};

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

std::string foldedAscii(std::string name)
{
    for (char &c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

// A name as a message shows it: control characters as \xNN.
std::string printableName(std::string_view name)
{
    std::string shown;
    for (const char c : name) {
        if (isControl(static_cast<unsigned char>(c))) {
            char escaped[5];
            std::snprintf(
                escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace

StoredNames storedNames(int fd)
{
    StoredNames stored;
    FdStream file;
    file.fd = fd;
    struct stat info { };
    file.size = ::fstat(fd, &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    zlib_filefunc64_def functions{
        openStream, readStream, writeStream, tellStream, seekStream, closeStream, streamError, &file};
    const std::unique_ptr<void, UnzipClose> archive(unzOpen2_64("", &functions));
    if (!archive) {
        stored.error = "its list of members cannot be read";
        return stored;
    }
    // A stored name is at most 65535 bytes long.
    std::string name(65536, '\0');
    for (int status = unzGoToFirstFile(archive.get()); status != UNZ_END_OF_LIST_OF_FILE;
         status = unzGoToNextFile(archive.get())) {
        unz_file_info64 info{};
        if (status != UNZ_OK
            || unzGetCurrentFileInfo64(
                   archive.get(), &info, name.data(), static_cast<uLong>(name.size()), nullptr, 0, nullptr, 0)
                != UNZ_OK) {
            stored.error = "its list of members cannot be read";
            return stored;
        }
        stored.names.emplace_back(name.data(), static_cast<std::size_t>(info.size_filename));
    }
    return stored;
}

std::string memberNamesProblem(const std::vector<std::string> &names)
{
    std::unordered_map<std::string, const std::string *> seen; // by the name folded
    for (const std::string &name : names) {
        if (name.find('\0') != std::string::npos) {
            return "the name of its member '" + printableName(name)
                + "' holds a NUL, which would not stay as it is stored";
        }
        const auto [earlier, added] = seen.emplace(foldedAscii(name), &name);
        if (added) {
            continue;
        }
        return *earlier->second == name ? "it has two members named '" + printableName(name) + "'"
                                        : "it has two members named '" + printableName(*earlier->second)
                + "' and '" + printableName(name) + "', which the package format counts as one name";
    }
    return {};
}

} // namespace bibsources
