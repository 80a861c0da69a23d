#include "month_macros.h"

#include "standard_months.h"

namespace bibsources::worker {

namespace {

// Removes the first whole line of `diagnostics` that ends with `message`.
void removeLineEndingWith(std::string &diagnostics, const std::string &message)
{
    for (std::size_t start = 0; start < diagnostics.size();) {
        std::size_t end = diagnostics.find('\n', start);
        end = end == std::string::npos ? diagnostics.size() : end;
        const std::string_view line(diagnostics.data() + start, end - start);
        if (line.ends_with(message)) {
            diagnostics.erase(start, end - start + (end < diagnostics.size() ? 1 : 0));
            return;
        }
        start = end + 1;
    }
}

} // namespace

MacroList MonthMacros::definitionsWith(const MacroList &replayed)
{
    std::set<std::string> redefined;
    for (const auto &definition : replayed) {
        redefined.insert(definition.first);
    }
    MacroList definitions;
    for (const auto &[name, text] : standardMonths) {
        if (!redefined.contains(std::string(name))) {
            definitions.emplace_back(name, text);
            standing.emplace(name);
        }
    }
    definitions.insert(definitions.end(), replayed.begin(), replayed.end());
    return definitions;
}

void MonthMacros::takeDefinition(const Entry &definition, std::string &diagnostics)
{
    for (const Field &field : definition.fields) {
        if (standing.erase(field.name) > 0) {
            removeLineEndingWith(
                diagnostics, "warning: overriding existing definition of macro \"" + field.name + "\"");
        }
    }
}

} // namespace bibsources::worker
