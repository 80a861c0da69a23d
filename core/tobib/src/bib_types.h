#pragma once

#include <string_view>

namespace bibsources {

// The entry type a record of sourceType becomes: the type the tidy mapping
// reads back as that source type. A report with a thesis kind is a thesis
// (phdthesis, mastersthesis, or thesis with the kind in its type field); a
// section with a book title is an incollection, one without an inbook. An
// unknown source type is misc.
std::string_view bibEntryType(std::string_view sourceType, std::string_view thesisType, bool hasBookTitle);

// The thesis kind an entry type says by itself ("PhD Thesis" for
// phdthesis), which its type field need not repeat; empty for others.
std::string_view impliedThesisKind(std::string_view entryType);

} // namespace bibsources
