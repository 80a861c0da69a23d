#include "tidy_months.h"

#include "text.h"

#include <array>
#include <charconv>
#include <vector>

namespace bibsources {

namespace {

constexpr std::array<std::string_view, 12> englishNames = {"January", "February", "March", "April", "May",
    "June", "July", "August", "September", "October", "November", "December"};

// Month names in English, German, French, Spanish, Italian, Portuguese and
// Dutch, in lower case without accents, as monthKey() folds what is typed.
struct MonthWords {
    int month;
    std::array<std::string_view, 8> names;
};

constexpr std::array<MonthWords, 12> monthWords{{
    {1, {"january", "januar", "janner", "janvier", "enero", "gennaio", "janeiro", "januari"}},
    {2, {"february", "februar", "fevrier", "febrero", "febbraio", "fevereiro", "februari"}},
    {3, {"march", "marz", "maerz", "mars", "marzo", "marco", "maart"}},
    {4, {"april", "avril", "abril", "aprile"}},
    {5, {"may", "mai", "mayo", "maggio", "maio", "mei"}},
    {6, {"june", "juni", "juin", "junio", "giugno", "junho"}},
    {7, {"july", "juli", "juillet", "julio", "luglio", "julho"}},
    {8, {"august", "aout", "agosto", "augustus"}},
    {9, {"september", "septembre", "septiembre", "setiembre", "settembre", "setembro"}},
    {10, {"october", "oktober", "octobre", "octubre", "ottobre", "outubro"}},
    {11, {"november", "novembre", "noviembre", "novembro"}},
    {12, {"december", "dezember", "decembre", "diciembre", "dicembre", "dezembro"}},
}};

// Abbreviations that are not the start of their name.
constexpr std::pair<std::string_view, int> otherAbbreviations[] = {{"mrt", 3}};

// Lower case, accents dropped: "März" and "MARZ" both give "marz".
std::string monthKey(std::string_view word)
{
    return foldedText(word);
}

std::optional<int> smallNumber(std::string_view text)
{
    int value = 0;
    if (text.empty() || text.size() > 2
        || std::from_chars(text.data(), text.data() + text.size(), value).ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool isDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<int> monthByName(std::string_view word)
{
    const std::string key = monthKey(word);
    if (key.size() < 3) {
        return std::nullopt;
    }
    for (const auto &[abbreviation, month] : otherAbbreviations) {
        if (key == abbreviation) {
            return month;
        }
    }
    std::optional<int> found;
    for (const MonthWords &row : monthWords) {
        for (const std::string_view name : row.names) {
            if (!name.empty() && name.starts_with(key)) {
                if (found && *found != row.month) {
                    return std::nullopt;
                }
                found = row.month;
            }
        }
    }
    return found;
}

// Words of a month field: blanks, ties (as typed or as the no-break space
// TeX makes of them), full stops and commas separate them; braces vanish.
std::vector<std::string> wordsOf(std::string_view text)
{
    std::vector<std::string> words(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool noBreakSpace = c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0';
        if (noBreakSpace || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '~' || c == '.'
            || c == ',') {
            i += noBreakSpace ? 1 : 0;
            if (!words.back().empty()) {
                words.emplace_back();
            }
        } else if (c != '{' && c != '}') {
            words.back() += c;
        }
    }
    if (words.back().empty()) {
        words.pop_back();
    }
    return words;
}

bool onlyQuestionMarks(std::string_view text)
{
    return text.find('?') != std::string_view::npos
        && text.find_first_not_of("? \t\r\n~-/{}") == std::string_view::npos;
}

// The longest day each month can have, in a year not known here.
int longestDay(int month)
{
    constexpr std::array<int, 12> days = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return days[size_t(month - 1)];
}

} // namespace

std::string_view englishMonthName(int month)
{
    return month >= 1 && month <= 12 ? englishNames[size_t(month - 1)] : std::string_view();
}

std::optional<int> monthNumber(std::string_view word)
{
    if (isDigits(word)) {
        const std::optional<int> value = smallNumber(word);
        return value && *value >= 1 && *value <= 12 ? value : std::nullopt;
    }
    return monthByName(word);
}

MonthReading readMonth(std::string_view text)
{
    MonthReading reading;
    if (onlyQuestionMarks(text)) {
        reading.placeholder = true;
        return reading;
    }
    const std::vector<std::string> words = wordsOf(text);
    if (words.size() == 1) {
        if (const std::optional<int> month = monthNumber(words[0])) {
            reading.month = englishMonthName(*month);
        }
        return reading;
    }
    if (words.size() != 2) {
        return reading;
    }
    // A day and a month, either way round; the month must be a name, since
    // "10 3" could be read both ways.
    const bool dayFirst = isDigits(words[0]);
    const std::string &dayWord = dayFirst ? words[0] : words[1];
    const std::string &monthWord = dayFirst ? words[1] : words[0];
    const int day = isDigits(dayWord) ? smallNumber(dayWord).value_or(0) : 0;
    const std::optional<int> month = isDigits(monthWord) ? std::nullopt : monthByName(monthWord);
    if (month && day >= 1 && day <= longestDay(*month)) {
        reading.month = englishMonthName(*month);
        reading.day = std::to_string(day);
    }
    return reading;
}

} // namespace bibsources
