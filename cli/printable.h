#pragma once

#include <string>
#include <string_view>

namespace bibsources::cli {

// The text as it may go to a terminal: control characters (C0, DEL and C1)
// and bytes that are not UTF-8 are shown as \xNN, so a file name or an entry
// cannot move the cursor, change colours or retitle the window. Printable
// text, UTF-8 letters included, is unchanged.
std::string printable(std::string_view text);

} // namespace bibsources::cli
