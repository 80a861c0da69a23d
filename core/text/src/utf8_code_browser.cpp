#include "utf8_code.h"

// The page has no utf8proc, and the browser's TextDecoder is a call into
// JavaScript per character; the two steps are written out here instead,
// with the same strict rule utf8proc applies.

namespace bibsources {

size_t validCharacterLength(const unsigned char *bytes, size_t size)
{
    const unsigned char lead = bytes[0];
    size_t length = 0;
    char32_t lowest = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (size < length) {
        return 0;
    }
    char32_t codePoint = lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = (codePoint << 6) | (bytes[i] & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return codePoint >= lowest && codePoint <= 0x10FFFF && !surrogate ? length : 0;
}

size_t encodedUtf8(char32_t codePoint, char out[4])
{
    if (codePoint < 0x80) {
        out[0] = char(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = char(0xC0 | (codePoint >> 6));
        out[1] = char(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = char(0xE0 | (codePoint >> 12));
        out[1] = char(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = char(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = char(0xF0 | (codePoint >> 18));
    out[1] = char(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = char(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = char(0x80 | (codePoint & 0x3F));
    return 4;
}

} // namespace bibsources
