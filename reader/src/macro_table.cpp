#include "macro_table.h"

#include "standard_months.h"

#include <utility>

namespace bibsources::reader {

MacroTable::MacroTable()
{
    for (const auto &[name, text] : standardMonths) {
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
