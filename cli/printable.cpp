#include "printable.h"

#include <algorithm>

namespace bibsources::cli {

namespace {

void appendEscaped(std::string &out, unsigned char byte)
{
    static constexpr char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0xf];
}

// The length of the well-formed UTF-8 sequence at the start of `text`
// (overlong forms, surrogates and code points above U+10FFFF are not), or 0.
size_t sequenceLength(std::string_view text)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : 2;
    if (lead < 0xc2 || lead > 0xf4 || text.size() < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) {
            return 0;
        }
    }
    const unsigned char second = byte(1);
    const bool overlongOrOut = (lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f)
        || (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second > 0x8f);
    return overlongOrOut ? 0 : length;
}

} // namespace

std::string printable(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto byte = static_cast<unsigned char>(text.front());
        if (byte >= 0x20 && byte < 0x7f) {
            out += text.front();
            text.remove_prefix(1);
            continue;
        }
        const size_t length = byte < 0x80 ? 0 : sequenceLength(text);
        // U+0080..U+009F are the C1 controls; a terminal may act on them.
        const bool control = length == 0 || (byte == 0xc2 && static_cast<unsigned char>(text[1]) < 0xa0);
        if (control) {
            for (size_t i = 0; i < std::max<size_t>(length, 1); ++i) {
                appendEscaped(out, static_cast<unsigned char>(text[i]));
            }
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(std::max<size_t>(length, 1));
    }
    return out;
}

} // namespace bibsources::cli
