#pragma once

#include <string_view>

namespace bibsources {

// The source type of the tidy mapping for a BibTeX or biblatex entry type,
// matched without regard to case: always one of the format's 17 values
// (ArticleInAPeriodical, Book, BookSection, JournalArticle,
// ConferenceProceedings, Report, SoundRecording, Performance, Art,
// DocumentFromInternetSite, InternetSite, Film, Interview, Patent,
// ElectronicSource, Case, Misc). Any type not in the table is Misc.
std::string_view tidySourceType(std::string_view entryType);

// The thesis kind an entry type stands for ("PhD Thesis", "Master's Thesis"),
// empty for other types. A thesis of the generic biblatex type "thesis" says
// its kind in its type field, not in its entry type.
std::string_view thesisKind(std::string_view entryType);

// True for the entry types that stand for a thesis.
bool isThesisType(std::string_view entryType);

} // namespace bibsources
