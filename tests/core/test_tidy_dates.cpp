#include "tidy_dates.h"

#include <gtest/gtest.h>

#include <string>

using namespace bibsources;

namespace {

TEST(MonthName, NamesTheMonth)
{
    const std::pair<const char *, const char *> rows[] = {
        {"3", "March"},
        {"03", "March"},
        {"12", "December"},
        {"mar", "March"},
        {"March", "March"},
        {"MAR.", "March"},
        {"sept", "September"}, // a longer abbreviation
        {"Sep", "September"},
        {" ~may. ", "May"}, // stray blanks, ties and full stops
        {"{Jun}", "June"},
        {"january", "January"},
    };
    for (const auto &[text, month] : rows) {
        EXPECT_EQ(monthName(text), std::optional<std::string>(month)) << "from: " << text;
    }
}

TEST(MonthName, RejectsWhatNamesNoMonth)
{
    const char *rows[] = {
        "Spring",
        "",
        "~",
        "0",
        "13",
        "003",
        "ma",
        "Marchx",
        "Mar/Apr",
        "3rd",
        "-3",
    };
    for (const char *text : rows) {
        EXPECT_EQ(monthName(text), std::nullopt) << "from: " << text;
    }
}

TEST(ParseDate, ReadsTheStartOfADate)
{
    struct Row {
        const char *text;
        DateParts parts;
    };
    const Row rows[] = {
        {"2004", {"2004", "", ""}},
        {"2004-03", {"2004", "March", ""}},
        {"2004-03-07", {"2004", "March", "7"}},
        {" 2004-12-31 ", {"2004", "December", "31"}},
        {"2004-03-07/2004-03-09", {"2004", "March", "7"}}, // a range: its start
        {"1997/2001", {"1997", "", ""}},
        {"2004-02/", {"2004", "February", ""}}, // open-ended range
        {"2000-02-29", {"2000", "February", "29"}},
    };
    for (const Row &row : rows) {
        const auto parts = parseDate(row.text);
        ASSERT_TRUE(parts) << "from: " << row.text;
        EXPECT_EQ(parts->year, row.parts.year) << "from: " << row.text;
        EXPECT_EQ(parts->month, row.parts.month) << "from: " << row.text;
        EXPECT_EQ(parts->day, row.parts.day) << "from: " << row.text;
    }
}

TEST(ParseDate, RejectsWhatIsNoDate)
{
    const char *rows[] = {
        "",
        "Spring 2004",
        "04",
        "20045",
        "2004-13",
        "2004-00",
        "2004-02-30",
        "1900-02-29",
        "2004-03-",
        "2004-3x",
        "/2004",
        "2004-03-07T10:00",
        "c. 2004",
    };
    for (const char *text : rows) {
        EXPECT_EQ(parseDate(text).has_value(), false) << "from: " << text;
    }
}

} // namespace
