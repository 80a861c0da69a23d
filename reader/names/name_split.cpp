#include "name_split.h"

#include "name_list.h"
#include "name_parts.h"
#include "unsplittable_name.h"

namespace bibsources {

SplitNames splitNames(std::string_view text)
{
    // The helper hands the parser a C string: a NUL ends the text.
    text = text.substr(0, text.find('\0'));
    std::optional<NameList> list = splitNameList(text);
    if (!list) {
        return SplitNames{std::nullopt, {}};
    }
    SplitNames split{std::vector<Person>{}, std::move(list->diagnostics)};
    std::vector<Person> &people = *split.people;
    people.reserve(list->names.size());
    for (size_t i = 0; i < list->names.size(); ++i) {
        const std::optional<std::string_view> &name = list->names[i];
        if (!name) {
            people.emplace_back();
        } else if (std::optional<Person> person = personWithoutLastName(*name)) {
            people.push_back(std::move(*person));
        } else {
            NameParts parts = splitNameParts(*name, i);
            people.push_back(std::move(parts.person));
            split.diagnostics += parts.diagnostics;
        }
    }
    return split;
}

} // namespace bibsources
