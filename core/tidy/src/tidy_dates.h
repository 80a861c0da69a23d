#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bibsources {

// One date of a biblatex date, urldate, eventdate or origdate field.
struct DateParts {
    std::string year; // as written, without "Y" and qualifiers: "2004", "-0044", "199X"
    std::string month; // the full English name, or empty
    std::string day; // without leading zeros ("7"), or empty
    std::string season; // "Spring", "Summer", "Autumn" or "Winter" (months 21 to 24), or empty
    // A month or day that was given but is no date ("there is no 30 February
    // in 2020"), in words; the parts before it are kept.
    std::string problem;
};

// A date as biblatex reads it (ISO 8601-2, levels 0 and 1): "YYYY", "YYYY-MM",
// "YYYY-MM-DD", with a time after "T" (ignored), the qualifiers "?", "~" and
// "%" (dropped), unspecified digits "X" (kept in the year, a month or day of
// "XX" is none), seasons 21 to 24, negative years and "Y"-prefixed long ones.
// A range "A/B" gives its start, an open start ("../B", "/B") its end.
// nullopt when no year can be read.
std::optional<DateParts> parseDate(std::string_view text);

} // namespace bibsources
