#pragma once

#include "accent_table.h"
#include "text.h"

#include <string>
#include <string_view>

namespace bibsources::testing {

// Every occurrence of `from` in `text` replaced by `to`, scanning left to right
// and continuing behind each replaced occurrence, so inserted text is never
// searched again.
inline std::string replaceAll(std::string_view text, std::string_view from, std::string_view to)
{
    if (from.empty()) {
        return std::string(text);
    }
    std::string result;
    std::size_t start = 0;
    for (std::size_t hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, start)) {
        result.append(text, start, hit - start).append(to);
        start = hit + from.size();
    }
    return result.append(text, start);
}

// The UTF-8 of a code point: the lead byte carries the length in its high
// bits and the top bits of the value; each further byte six more bits.
inline std::string utf8Of(char32_t c)
{
    if (c < 0x80) {
        return std::string(1, char(c));
    }
    const int further = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    std::string out(1, char((0xFF80 >> further) | (c >> (6 * further))));
    for (int shift = 6 * (further - 1); shift >= 0; shift -= 6) {
        out += char(0x80 | ((c >> shift) & 0x3F));
    }
    return out;
}

// The clean-up by its definition: "&" first, so that the references put in
// are not escaped again (and with escapeAngles "<" and ">"), then every
// accent row in order, each applied to the whole text.
inline std::string cleanupRowByRow(std::string_view text, bool escapeAngles)
{
    std::string out = replaceAll(text, "&", "&amp;");
    if (escapeAngles) {
        out = replaceAll(replaceAll(out, "<", "&lt;"), ">", "&gt;");
    }
    for (const AccentRow &row : accentTable()) {
        out = replaceAll(out, row.key, utf8Of(row.letter));
    }
    return out;
}

// The element content the converter makes of one parser string.
inline std::string xmlContent(std::string_view parserBytes)
{
    std::string out;
    appendXmlContent(out, parserBytes);
    return out;
}

} // namespace bibsources::testing
