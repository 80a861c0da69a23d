#include "utf8_cursor.h"

#include "utf8_code.h"

#include <cstdint>
#include <cstring>

namespace bibsources {

size_t nextCharacter(std::string_view text, size_t at)
{
    // ASCII, nearly every character a reader steps over, needs no decoding.
    if (static_cast<unsigned char>(text[at]) < 0x80) {
        return at + 1;
    }
    const size_t length
        = validCharacterLength(reinterpret_cast<const unsigned char *>(text.data() + at), text.size() - at);
    return at + (length > 0 ? length : 1);
}

size_t characterCount(std::string_view text)
{
    size_t count = 0;
    for (size_t at = 0; at < text.size(); at = nextCharacter(text, at)) {
        ++count;
    }
    return count;
}

bool isValidUtf8(std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        // Runs of ASCII, the most of any field, eight bytes at a time.
        std::uint64_t eight = 0;
        while (end - p >= 8 && (std::memcpy(&eight, p, 8), (eight & 0x8080808080808080u) == 0)) {
            p += 8;
        }
        if (p == end) {
            break;
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const size_t length = validCharacterLength(p, size_t(end - p));
        if (length == 0) {
            return false;
        }
        p += length;
    }
    return true;
}

void appendUtf8(std::string &out, char32_t codePoint)
{
    char bytes[4];
    out.append(bytes, encodedUtf8(codePoint, bytes));
}

} // namespace bibsources
