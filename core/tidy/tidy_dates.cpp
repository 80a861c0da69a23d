#include "tidy_dates.h"

#include <array>
#include <charconv>

namespace bibsources {

namespace {

constexpr std::array<std::string_view, 12> monthNames = {"January", "February", "March", "April", "May",
    "June", "July", "August", "September", "October", "November", "December"};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Blanks, "~", "." and braces around a month are how it was typed, not part
// of it ("{Mar.}", "~May").
std::string_view trimmed(std::string_view text, std::string_view stray)
{
    const size_t first = text.find_first_not_of(stray);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(stray) - first + 1);
}

// The value of `text` when it is one to `maxDigits` decimal digits.
std::optional<int> number(std::string_view text, size_t maxDigits)
{
    int value = 0;
    if (text.empty() || text.size() > maxDigits
        || std::from_chars(text.data(), text.data() + text.size(), value).ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// A name matches when it is the month's English name or at least its first
// three letters, in any case: "mar", "Sept", "AUGUST".
std::optional<int> monthByName(std::string_view text)
{
    if (text.size() < 3) {
        return std::nullopt;
    }
    for (size_t month = 0; month < monthNames.size(); ++month) {
        const std::string_view name = monthNames[month];
        bool prefix = text.size() <= name.size();
        for (size_t i = 0; prefix && i < text.size(); ++i) {
            prefix = lower(text[i]) == lower(name[i]);
        }
        if (prefix) {
            return int(month) + 1;
        }
    }
    return std::nullopt;
}

int daysIn(int month, int year)
{
    constexpr std::array<int, 12> days = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && !leap ? 28 : days[size_t(month - 1)];
}

} // namespace

std::optional<std::string> monthName(std::string_view text)
{
    const std::string_view month = trimmed(text, " \t\r\n~.{}");
    std::optional<int> value
        = isDigit(month.empty() ? ' ' : month[0]) ? number(month, 2) : monthByName(month);
    if (!value || *value < 1 || *value > 12) {
        return std::nullopt;
    }
    return std::string(monthNames[size_t(*value - 1)]);
}

std::optional<DateParts> parseDate(std::string_view text)
{
    std::string_view date = trimmed(text, " \t\r\n");
    date = date.substr(0, date.find('/'));
    const std::string_view yearText = date.substr(0, date.find('-'));
    const auto year = yearText.size() == 4 ? number(yearText, 4) : std::nullopt;
    if (!year) {
        return std::nullopt;
    }
    DateParts parts{std::string(yearText), {}, {}};
    if (yearText.size() == date.size()) {
        return parts;
    }
    const std::string_view rest = date.substr(yearText.size() + 1);
    const std::string_view monthText = rest.substr(0, rest.find('-'));
    const auto month = number(monthText, 2);
    if (!month || *month < 1 || *month > 12) {
        return std::nullopt;
    }
    parts.month = monthNames[size_t(*month - 1)];
    if (monthText.size() == rest.size()) {
        return parts;
    }
    const auto day = number(rest.substr(monthText.size() + 1), 2);
    if (!day || *day < 1 || *day > daysIn(*month, *year)) {
        return std::nullopt;
    }
    parts.day = std::to_string(*day);
    return parts;
}

} // namespace bibsources
