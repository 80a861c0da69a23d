#include "stored_names.h"

#include <cstdint>
#include <memory>

#include <minizip/unzip.h>

namespace bibsources {

namespace {

// minizip reads the input through these: positioned reads of what the
// package was opened from, so that what is checked is what libzip reads.
struct InputStream {
    const ZipInput *input = nullptr;
    std::uint64_t offset = 0;
    bool failed = false;
};

InputStream &streamOf(voidpf stream)
{
    return *static_cast<InputStream *>(stream);
}

voidpf openStream(voidpf opaque, const void *, int)
{
    return opaque;
}

uLong readStream(voidpf, voidpf stream, void *buffer, uLong size)
{
    InputStream &file = streamOf(stream);
    const std::int64_t got = file.input->readAt(file.offset, buffer, size);
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
    InputStream &file = streamOf(stream);
    const std::uint64_t base = origin == ZLIB_FILEFUNC_SEEK_CUR ? file.offset
        : origin == ZLIB_FILEFUNC_SEEK_END                      ? file.input->size()
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

} // namespace

StoredNames storedNames(const ZipInput &input)
{
    StoredNames stored;
    InputStream file;
    file.input = &input;
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

} // namespace bibsources
