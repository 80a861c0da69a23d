#include "input_encoding.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <sys/mman.h>
#include <unistd.h>

namespace bibsources {

namespace {

constexpr std::size_t chunkSize = 1 << 16;
constexpr std::string_view replacement = "\xef\xbf\xbd";

// iconv's handle, closed on every way out.
class Converter {
public:
    explicit Converter(const char *from)
        : handle(::iconv_open("UTF-8", from))
    {
    }
    ~Converter()
    {
        if (valid()) {
            ::iconv_close(handle);
        }
    }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    bool valid() const { return handle != reinterpret_cast<iconv_t>(-1); }

    // Converts as much of `in` as makes whole characters, appending to
    // `out`; returns the bytes used. A bad sequence of `unit` bytes becomes
    // U+FFFD; an incomplete one at the end is left unless `last`.
    std::size_t convert(std::string_view in, std::size_t unit, bool last, std::string &out)
    {
        char *input = const_cast<char *>(in.data());
        std::size_t inputLeft = in.size();
        std::array<char, chunkSize> buffer;
        while (inputLeft > 0) {
            char *output = buffer.data();
            std::size_t outputLeft = buffer.size();
            const std::size_t result = ::iconv(handle, &input, &inputLeft, &output, &outputLeft);
            out.append(buffer.data(), buffer.size() - outputLeft);
            if (result != static_cast<std::size_t>(-1) || errno == E2BIG) {
                continue;
            }
            if (errno == EINVAL && !last) {
                break;
            }
            out += replacement;
            const std::size_t skip = std::min(unit, inputLeft);
            input += skip;
            inputLeft -= skip;
        }
        return in.size() - inputLeft;
    }

private:
    iconv_t handle;
};

} // namespace

ByteOrderMark byteOrderMarkOf(std::string_view firstBytes)
{
    // Longest first: a UTF-32 LE mark begins like a UTF-16 LE one.
    static const std::array<std::pair<std::string_view, const char *>, 5> marks{{
        {std::string_view("\xff\xfe\0\0", 4), "UTF-32LE"},
        {std::string_view("\0\0\xfe\xff", 4), "UTF-32BE"},
        {"\xef\xbb\xbf", nullptr},
        {"\xff\xfe", "UTF-16LE"},
        {"\xfe\xff", "UTF-16BE"},
    }};
    for (const auto &[mark, encoding] : marks) {
        if (firstBytes.starts_with(mark)) {
            return {mark.size(), encoding};
        }
    }
    return {};
}

TranscodedInput transcodeToUtf8(int fd, const ByteOrderMark &mark)
{
    TranscodedInput result;
    Converter converter(mark.encoding);
    UniqueFd out(::memfd_create("bibsources-utf8", MFD_CLOEXEC));
    if (!converter.valid() || !out.valid()) {
        result.error = std::string("cannot convert it from ") + mark.encoding + ": " + std::strerror(errno);
        return result;
    }
    const std::size_t unit = std::string_view(mark.encoding).starts_with("UTF-32") ? 4 : 2;
    std::string pending;
    std::string text;
    for (std::uint64_t offset = mark.length;;) {
        const std::string chunk = readAt(fd, offset, chunkSize);
        offset += chunk.size();
        pending += chunk;
        text.clear();
        pending.erase(0, converter.convert(pending, unit, chunk.empty(), text));
        if (!writeAll(out.get(), text)) {
            result.error = std::string("cannot convert it: ") + std::strerror(errno);
            return result;
        }
        if (chunk.empty()) {
            break;
        }
    }
    ::lseek(out.get(), 0, SEEK_SET);
    result.fd = std::move(out);
    return result;
}

} // namespace bibsources
