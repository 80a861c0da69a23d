#include "entry.h"

#include <string_view>

namespace bibsources {

bool isContributorField(std::string_view fieldName)
{
    return fieldName == "author" || fieldName == "editor" || fieldName == "translator";
}

bool isMappedField(std::string_view fieldName)
{
    static constexpr std::string_view mapped[] = {
        "author", "editor",    "translator", "title",   "journal", "booktitle",   "publisher",
        "pages",  "month",     "year",       "volume",  "number",  "location",    "address",
        "edition", "institution", "school",  "url",     "lastchecked",
    };
    for (std::string_view name : mapped) {
        if (fieldName == name) {
            return true;
        }
    }
    return false;
}

} // namespace bibsources
