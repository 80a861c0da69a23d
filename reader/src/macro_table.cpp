#include "macro_table.h"

#include <array>
#include <utility>

namespace bibsources::reader {

namespace {

constexpr std::array<std::pair<const char *, const char *>, 12> months{{
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

} // namespace

MacroTable::MacroTable()
{
    for (const auto &[name, text] : months) {
        texts.emplace(name, text);
        standingMonths.emplace(name);
    }
}

std::optional<std::string_view> MacroTable::find(const std::string &lowercaseName) const
{
    const auto found = texts.find(lowercaseName);
    if (found == texts.end()) {
        return std::nullopt;
    }
    return std::string_view(found->second);
}

bool MacroTable::define(const std::string &lowercaseName, std::string text)
{
    const bool month = standingMonths.erase(lowercaseName) > 0;
    const auto [at, added] = texts.insert_or_assign(lowercaseName, std::move(text));
    (void)at;
    return !added && !month;
}

} // namespace bibsources::reader
