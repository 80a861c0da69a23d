#pragma once

// What the fuzz targets assert about text, written independently of the code
// under test so that a shared mistake cannot hide itself; and what every
// target includes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzzcheck {

// Stops the run with a message unless the condition holds; libFuzzer keeps
// the input that got here.
inline void check(bool condition, const char *what, std::string_view text)
{
    if (condition) {
        return;
    }
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fprintf(stderr, "offending text (%zu bytes):", text.size());
    for (size_t i = 0; i < text.size() && i < 256; ++i) {
        std::fprintf(stderr, " %02x", static_cast<unsigned char>(text[i]));
    }
    std::fprintf(stderr, "\n");
    std::abort();
}

// Calls visit(codePoint) for each character of strict UTF-8 text and returns
// true, or returns false at the first byte sequence that is not: overlong
// forms, surrogates and values above U+10FFFF included.
template <typename Visit> bool forEachCodePoint(std::string_view text, Visit &&visit)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1
            : (lead & 0xE0) == 0xC0       ? 2
            : (lead & 0xF0) == 0xE0       ? 3
            : (lead & 0xF8) == 0xF0       ? 4
                                          : 0;
        if (length == 0 || text.size() - i < length) {
            return false;
        }
        // The lead byte's own bits: all of an ASCII byte, fewer the longer the sequence.
        char32_t value = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = (value << 6) | (next & 0x3F);
        }
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        visit(value);
        i += length;
    }
    return true;
}

inline bool isValidUtf8(std::string_view text)
{
    return forEachCodePoint(text, [](char32_t) {});
}

// The characters XML 1.0 allows in a document.
inline bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

inline bool hasOnlyXmlChars(std::string_view utf8)
{
    bool allowed = true;
    const bool valid = forEachCodePoint(utf8, [&](char32_t c) { allowed = allowed && isXmlChar(c); });
    return valid && allowed;
}

} // namespace fuzzcheck
