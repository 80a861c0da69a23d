#include "fields.h"

#include <algorithm>
#include <array>

namespace bibsources {

namespace {

constexpr std::array<ContributorField, 3> contributors{{
    {"author", "Author"},
    {"editor", "Editor"},
    {"translator", "Translator"},
}};

constexpr std::array<std::string_view, 1> articleTypes{"article"};
constexpr std::array<std::string_view, 3> proceedingsTypes{"inproceedings", "proceedings", "conference"};
constexpr std::array<std::string_view, 2> bookPartTypes{"inbook", "booklet"};
constexpr std::array<std::string_view, 5> cityTypes{"book", "inbook", "booklet", "phdthesis", "techreport"};

// Which element a journal or booktitle field becomes depends on the entry
// type; for the types not listed it becomes nothing, as an address field of
// an unlisted type does.
constexpr std::array<FieldElement, 20> plainElements{{
    {"title", "Title", {}},
    {"journal", "JournalName", articleTypes},
    {"booktitle", "JournalName", articleTypes},
    {"journal", "ConferenceName", proceedingsTypes},
    {"booktitle", "ConferenceName", proceedingsTypes},
    {"journal", "BookTitle", bookPartTypes},
    {"booktitle", "BookTitle", bookPartTypes},
    {"publisher", "Publisher", {}},
    {"pages", "Pages", {}},
    {"month", "Month", {}},
    {"year", "Year", {}},
    {"volume", "Volume", {}},
    {"number", "Number", {}},
    {"location", "City", {}},
    {"address", "City", cityTypes},
    {"edition", "Edition", {}},
    {"institution", "Institution", {}},
    {"school", "Institution", {}},
    // A url's "<" and ">" come out as "&lt;" and "&gt;" like those of any
    // other field, since every text is escaped on its way in.
    {"url", "URL", {}},
    {"lastchecked", "YearAccessed", {}},
}};

// crossref writes nothing itself: the tidy mapping follows it to the parent.
constexpr std::array<std::string_view, 22> tidyOnly{"journaltitle", "subtitle", "shorttitle", "note", "doi",
    "isbn", "issn", "day", "date", "urldate", "organization", "chapter", "volumes", "type", "eventtitle",
    "crossref", "howpublished", "issue", "titleaddon", "booksubtitle", "booktitleaddon", "journalsubtitle"};

} // namespace

std::span<const ContributorField> contributorFields()
{
    return contributors;
}

bool isContributorField(std::string_view fieldName)
{
    return std::any_of(contributors.begin(), contributors.end(),
        [&](const ContributorField &row) { return row.field == fieldName; });
}

std::span<const FieldElement> plainFieldElements()
{
    return plainElements;
}

std::span<const std::string_view> tidyOnlyFields()
{
    return tidyOnly;
}

bool isMappedField(std::string_view fieldName)
{
    return isContributorField(fieldName)
        || std::any_of(plainElements.begin(), plainElements.end(),
            [&](const FieldElement &row) { return row.field == fieldName; })
        || std::find(tidyOnly.begin(), tidyOnly.end(), fieldName) != tidyOnly.end();
}

} // namespace bibsources
