#include "tidy_dates.h"

#include "text.h"
#include "tidy_months.h"

#include <array>
#include <charconv>

namespace bibsources {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allOf(std::string_view text, std::string_view allowed)
{
    return !text.empty() && text.find_first_not_of(allowed) == std::string_view::npos;
}

std::optional<int> twoDigits(std::string_view text)
{
    int value = 0;
    if (text.size() != 2 || !isDigit(text[0]) || !isDigit(text[1])) {
        return std::nullopt;
    }
    std::from_chars(text.data(), text.data() + 2, value);
    return value;
}

// "2004", "-0044", "199X", "Y170000002": four digits (some of them "X"),
// a sign, or "Y" and more digits.
std::optional<std::string> yearOf(std::string_view text)
{
    if (text.starts_with('Y')) {
        text.remove_prefix(1);
        const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
        return digits.size() > 4 && allOf(digits, "0123456789") ? std::optional<std::string>(text)
                                                                : std::nullopt;
    }
    const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    if (digits.size() != 4 || !allOf(digits, "0123456789X") || !isDigit(digits[0])) {
        return std::nullopt;
    }
    return std::string(text);
}

int daysIn(int month, std::string_view year)
{
    constexpr std::array<int, 12> days = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int value = 0;
    const bool known = year.find('X') == std::string_view::npos
        && std::from_chars(year.data(), year.data() + year.size(), value).ec == std::errc();
    const bool leap = !known || ((value % 4 == 0 && value % 100 != 0) || value % 400 == 0);
    return month == 2 && !leap ? 28 : days[size_t(month - 1)];
}

constexpr std::array<std::string_view, 4> seasons = {"Spring", "Summer", "Autumn", "Winter"};

// Month and day after the year ("03-07"), into parts; a part that is no
// date ends the reading with a problem.
void readMonthAndDay(std::string_view rest, DateParts &parts)
{
    const std::string_view monthText = rest.substr(0, rest.find('-'));
    const bool dayGiven = monthText.size() < rest.size();
    const std::string_view dayText = dayGiven ? rest.substr(monthText.size() + 1) : std::string_view();
    if (monthText == "XX") {
        return;
    }
    const std::optional<int> month = twoDigits(monthText);
    if (month && *month >= 21 && *month <= 24 && !dayGiven) {
        parts.season = seasons[size_t(*month - 21)];
        return;
    }
    if (!month || *month < 1 || *month > 12) {
        parts.problem = "'" + std::string(monthText) + "' is no month";
        return;
    }
    parts.month = englishMonthName(*month);
    if (!dayGiven || dayText == "XX") {
        return;
    }
    const std::optional<int> day = twoDigits(dayText);
    if (!day || *day < 1 || *day > daysIn(*month, parts.year)) {
        parts.problem = "there is no " + std::string(dayText) + " " + parts.month + " in " + parts.year;
        return;
    }
    parts.day = std::to_string(*day);
}

// One date of a range, qualifiers and time already gone.
std::optional<DateParts> singleDate(std::string_view text)
{
    const size_t yearEnd = text.find('-', text.starts_with('-') || text.starts_with("Y-") ? 2 : 0);
    std::optional<std::string> year = yearOf(text.substr(0, yearEnd));
    if (!year) {
        return std::nullopt;
    }
    DateParts parts;
    parts.year = std::move(*year);
    if (yearEnd != std::string_view::npos) {
        readMonthAndDay(text.substr(yearEnd + 1), parts);
    }
    return parts;
}

// Without the qualifiers ("?", "~", "%") and the time of day.
std::string plainDate(std::string_view text)
{
    text = text.substr(0, text.find('T'));
    std::string plain;
    for (const char c : trimmed(text)) {
        if (c != '?' && c != '~' && c != '%') {
            plain += c;
        }
    }
    return plain;
}

} // namespace

std::optional<DateParts> parseDate(std::string_view text)
{
    text = trimmed(text);
    const size_t slash = text.find('/');
    std::string_view start = text.substr(0, slash);
    if ((start.empty() || start == "..") && slash != std::string_view::npos) {
        start = text.substr(slash + 1);
    }
    return singleDate(plainDate(start));
}

} // namespace bibsources
