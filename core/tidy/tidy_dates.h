#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bibsources {

// The full English name ("March") of the month that `text` names: a number
// ("3", "03"), an English name or a three-letter abbreviation in any case
// ("mar", "March", "MAR.", "Sept"), with blanks, "~" or "." around it, as a
// month field reads once its macro is expanded. nullopt when it names no
// month ("Spring", "13", "", "Mar/Apr").
std::optional<std::string> monthName(std::string_view text);

// One date of a biblatex date or urldate field. `year` is the four digits as
// written; `month` is the full English name, or empty when the date has no
// month; `day` is the day without leading zeros ("7"), or empty.
struct DateParts {
    std::string year;
    std::string month;
    std::string day;
};

// The start of a biblatex date: "YYYY", "YYYY-MM" or "YYYY-MM-DD", alone or as
// the first half of a range "A/B" (open ranges "A/" included), with blanks
// around it ignored. A month outside 1..12 or a day outside 1..31 (or beyond
// the month's length) makes it no date. nullopt when `text` is not such a date.
std::optional<DateParts> parseDate(std::string_view text);

} // namespace bibsources
