#include "tidy_dates.h"

#include <gtest/gtest.h>

#include <string>

using namespace bibsources;

namespace {

// Month macros, names, abbreviations and numbers; "" where no month is named.
TEST(MonthName, NamesTheMonthOrNothing)
{
    const std::pair<const char *, const char *> rows[]
        = {{"3", "March"}, {"03", "March"}, {"12", "December"}, {"mar", "March"}, {"March", "March"},
            {"MAR.", "March"}, {"sept", "September"}, // a longer abbreviation
            {"Sep", "September"}, {" ~may. ", "May"}, // stray blanks, ties and full stops
            {"{Jun}", "June"}, {"january", "January"}, {"Spring", ""}, {"", ""}, {"~", ""}, {"0", ""},
            {"13", ""}, {"003", ""}, {"ma", ""}, {"Marchx", ""}, {"Mar/Apr", ""}, {"3rd", ""}, {"-3", ""}};
    for (const auto &[text, month] : rows) {
        EXPECT_EQ(monthName(text), *month ? std::optional<std::string>(month) : std::nullopt)
            << "from: " << text;
    }
}

// The start of a date as year, month and day; a null year where it is no date.
TEST(ParseDate, ReadsTheStartOfADate)
{
    const char *rows[][4] = {{"2004", "2004", "", ""}, {"2004-03", "2004", "March", ""},
        {"2004-03-07", "2004", "March", "7"}, {" 2004-12-31 ", "2004", "December", "31"},
        {"2004-03-07/2004-03-09", "2004", "March", "7"}, // a range: its start
        {"1997/2001", "1997", "", ""}, {"2004-02/", "2004", "February", ""}, // open-ended range
        {"2000-02-29", "2000", "February", "29"}, {""}, {"Spring 2004"}, {"04"}, {"20045"}, {"2004-13"},
        {"2004-00"}, {"2004-02-30"}, {"1900-02-29"}, {"2004-03-"}, {"2004-3x"}, {"/2004"},
        {"2004-03-07T10:00"}, {"c. 2004"}};
    for (const auto &row : rows) {
        const auto parts = parseDate(row[0]);
        ASSERT_EQ(parts.has_value(), row[1] != nullptr) << "from: " << row[0];
        if (parts) {
            EXPECT_EQ(parts->year, row[1]) << "from: " << row[0];
            EXPECT_EQ(parts->month, row[2]) << "from: " << row[0];
            EXPECT_EQ(parts->day, row[3]) << "from: " << row[0];
        }
    }
}

} // namespace
