#include "entry.h"

#include <string_view>

namespace bibsources {

bool isContributorField(std::string_view fieldName)
{
    return fieldName == "author" || fieldName == "editor" || fieldName == "translator";
}

bool isMappedField(std::string_view fieldName)
{
    static constexpr std::string_view mapped[] = {"author", "editor", "translator", "title", "journal",
        "booktitle", "publisher", "pages", "month", "year", "volume", "number", "location", "address",
        "edition", "institution", "school", "url", "lastchecked",
        // Read by the tidy mapping only.
        "journaltitle", "subtitle", "shorttitle", "note", "doi", "isbn", "issn", "day", "date", "urldate",
        "organization", "chapter", "volumes", "type", "eventtitle", "crossref", "howpublished"};
    for (std::string_view name : mapped) {
        if (fieldName == name) {
            return true;
        }
    }
    return false;
}

} // namespace bibsources
