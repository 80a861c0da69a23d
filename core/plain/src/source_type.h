#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// The b:SourceType value for a BibTeX entry type: twelve known types map onto
// the bibliography format's values ("article" -> "JournalArticle", ...); any
// other type, including a known one in other letter case, comes back as it is.
std::string convertPaperType(std::string_view entryType);

} // namespace bibsources
