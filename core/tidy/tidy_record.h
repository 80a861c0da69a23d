#pragma once

#include "entry.h"

#include <string>
#include <string_view>

namespace bibsources {

// The b:Source element the tidy mapping writes for one entry whose crossref
// has already been resolved: b:Tag `tag`, b:SourceType from the type table,
// b:Guid `guid`, the contributors, then Title, the container (JournalName,
// BookTitle, ConferenceName), Year, Month, Day, City, Publisher, Volume,
// Issue, Pages, URL, DOI, the accessed date and the remaining elements. No
// LCID and no empty element; all text is plain Unicode, escaped for XML.
std::string tidyRecord(const Entry &entry, std::string_view tag, std::string_view guid);

// The year an entry gives, from its year field or else its biblatex date,
// as plain text; empty when it has neither.
std::string entryYear(const Entry &entry);

} // namespace bibsources
