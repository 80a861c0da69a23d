#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bibsources {

// The full English name ("March") of month 1..12.
std::string_view englishMonthName(int month);

// The month (1..12) that one word names: a number ("3", "03"), or a month's
// name or abbreviation in English, German, French, Spanish, Italian,
// Portuguese or Dutch, in any case, with or without its accents ("mar",
// "März", "Maerz", "févr", "Sept", "mrt", "dic"). An abbreviation is any
// start of at least three letters of a name that no other month's name
// shares ("jui" could be juin or juillet). nullopt for anything else.
std::optional<int> monthNumber(std::string_view word);

// What a month field says, once its macro is expanded and its TeX read.
struct MonthReading {
    std::string month; // the full English name; empty when the field names no single month
    std::string day; // "10" for "10~jan" or "January 10", without leading zeros; else empty
    bool placeholder = false; // only "?" marks ("??"): the month is not known
};

// Reads a month field: one month alone or with a day before or after it,
// separated by blanks, "~", "." or ","; braces are ignored. A season
// ("Spring"), a range ("Jan/Feb", "Jan--Mar") or anything else names no
// month and gives an empty reading.
MonthReading readMonth(std::string_view text);

} // namespace bibsources
