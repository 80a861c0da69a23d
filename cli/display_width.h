#pragma once

#include <string_view>

namespace bibsources::cli {

// How text looks on a terminal, counted in columns: a wide (East Asian)
// character takes two, a combining mark none. The text is UTF-8; a byte that
// is not counts as one column. Cuts fall between whole characters as a
// reader sees them (grapheme clusters), so a letter never loses its accent.

int displayWidth(std::string_view text);

// The longest start of text that takes at most `columns`.
std::string_view leadingColumns(std::string_view text, int columns);

// The longest end of text that takes at most `columns`.
std::string_view trailingColumns(std::string_view text, int columns);

} // namespace bibsources::cli
