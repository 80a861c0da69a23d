#pragma once

#include "entry.h"
#include "field_account.h"

#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// One tidy record and what became of its entry's fields.
struct TidyRecord {
    std::string text;
    // What the user should hear about this entry, each a clause for
    // "entry 'k' near line 3 ...": "gives 'title' twice; the first is kept".
    std::vector<std::string> problems;
    std::vector<FieldUse> uses; // one per field, only when asked for
};

// The b:Source element the tidy mapping writes for one entry whose crossref
// has already been resolved: b:Tag `tag`, b:SourceType from the type table,
// b:Guid `guid`, the contributors, then Title, the container (JournalName,
// BookTitle, ConferenceName), Year, Month, Day, City, Publisher, Volume,
// Issue, Pages, URL, DOI, the accessed date and the remaining elements. No
// LCID and no empty element; all text is plain Unicode, escaped for XML.
//
// A field given twice is read from its first, as BibTeX reads it. A
// biblatex date gives year, month and day whenever it holds a year; the
// year, month and day fields are then not read, so the two never mix.
TidyRecord tidyRecord(const Entry &entry, std::string_view tag, std::string_view guid, bool withUses = false);

// The year an entry gives, from its biblatex date or else its year field,
// as plain text; empty when it has neither.
std::string entryYear(const Entry &entry);

} // namespace bibsources
