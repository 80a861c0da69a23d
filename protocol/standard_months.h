#pragma once

#include <array>
#include <string_view>
#include <utility>

namespace bibsources {

// The twelve month macros that BibTeX's standard styles define and btparse
// does not (jan = "January" ... dec = "December"). Nearly every real file
// writes `month = jan` unquoted and relies on them, so whichever reader reads
// a file defines them before anything else, and a file's own @string
// replaces them.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 12> standardMonths{{
    {"jan", "January"},
    {"feb", "February"},
    {"mar", "March"},
    {"apr", "April"},
    {"may", "May"},
    {"jun", "June"},
    {"jul", "July"},
    {"aug", "August"},
    {"sep", "September"},
    {"oct", "October"},
    {"nov", "November"},
    {"dec", "December"},
}};

} // namespace bibsources
