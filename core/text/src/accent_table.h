#pragma once

#include <span>
#include <string_view>

namespace bibsources {

// One row of the accent table: a braced TeX macro and the letter it stands for.
struct AccentRow {
    std::string_view key; // ASCII, "{\" ... "}", 4 to 7 characters
    char32_t letter; // one precomposed code point in U+00C0..U+017F
};

// The 169 rows, lowercase letters first (a to z, then {\ss}), then capitals.
std::span<const AccentRow> accentTable();

} // namespace bibsources
