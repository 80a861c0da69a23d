#include "zip_archive.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

// In zip_archive_browser.js: an archive of the `length` bytes at `bytes`
// read by the page's zip package. Each call that answers with bytes (a
// name, a member, the library's words) says how many and leaves them for
// bibsources_zip_take. The bytes, and the content of each change, must stay
// where they are until the archive is closed.
extern "C" {
int bibsources_zip_open(const char *bytes, int length);
int bibsources_zip_opening(int archive); // a ZipOpenFault; its words pending unless None
int bibsources_zip_count(int archive);
int bibsources_zip_name(int archive, int index);
int bibsources_zip_read(
    int archive, int index, double limit); // a ZipReadFault; the bytes or its words pending
void bibsources_zip_change(int archive, int replaced, const char *name, const char *content, int size);
int bibsources_zip_write(int archive); // 1 with the archive's bytes pending, 0 with the words
int bibsources_zip_pending(int archive);
void bibsources_zip_take(int archive, void *out);
void bibsources_zip_close(int archive);
}

namespace bibsources {

namespace {

class ArchiveHandle {
public:
    explicit ArchiveHandle(const std::string &bytes)
        : number(bibsources_zip_open(bytes.data(), int(bytes.size())))
    {
    }
    ~ArchiveHandle() { bibsources_zip_close(number); }
    ArchiveHandle(const ArchiveHandle &) = delete;
    ArchiveHandle &operator=(const ArchiveHandle &) = delete;

    int get() const { return number; }

    std::string pending() const
    {
        std::string bytes(std::size_t(bibsources_zip_pending(number)), '\0');
        bibsources_zip_take(number, bytes.data());
        return bytes;
    }

private:
    int number;
};

bool writeWhole(int fd, const std::string &bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t put = ::pwrite(fd, bytes.data() + written, bytes.size() - written, off_t(written));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        written += std::size_t(put);
    }
    return ::ftruncate(fd, off_t(bytes.size())) == 0;
}

} // namespace

struct ZipArchive::State {
    std::string bytes; // the whole zip file: fflate reads from memory
    std::unique_ptr<ArchiveHandle> handle;
    ZipOpening opening;
    std::vector<std::string> names;
};

ZipArchive::ZipArchive(ZipInput input)
    : state(std::make_unique<State>())
{
    state->bytes = input.allBytes();
    if (state->bytes.size() != input.size()) {
        state->opening = {ZipOpenFault::Unreadable, std::strerror(errno)};
        return;
    }
    state->handle = std::make_unique<ArchiveHandle>(state->bytes);
    const int archive = state->handle->get();
    state->opening.fault = ZipOpenFault(bibsources_zip_opening(archive));
    if (state->opening.fault != ZipOpenFault::None) {
        state->opening.detail = state->handle->pending();
        return;
    }
    const int count = bibsources_zip_count(archive);
    for (int i = 0; i < count; ++i) {
        bibsources_zip_name(archive, i);
        state->names.push_back(state->handle->pending());
    }
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
    const auto fault = ZipReadFault(bibsources_zip_read(state->handle->get(), int(index), double(limit)));
    std::string answer = state->handle->pending();
    if (fault == ZipReadFault::None) {
        return {std::move(answer), fault, {}};
    }
    return {{}, fault, std::move(answer)};
}

std::string ZipArchive::change(
    std::optional<std::size_t> replaced, const std::string &name, const std::string &content)
{
    bibsources_zip_change(state->handle->get(), replaced ? int(*replaced) : -1, name.c_str(), content.data(),
        int(content.size()));
    return {};
}

std::string ZipArchive::write(int outputFd)
{
    const bool made = bibsources_zip_write(state->handle->get()) != 0;
    const std::string answer = state->handle->pending();
    state->handle.reset();
    if (!made) {
        return answer;
    }
    return writeWhole(outputFd, answer) ? std::string() : std::strerror(errno);
}

} // namespace bibsources
