#include "bib_types.h"

namespace bibsources {

namespace {

struct TypeRow {
    std::string_view sourceType;
    std::string_view entryType;
};

// Standard BibTeX types where one means the source type; biblatex's where
// none does (BibTeX's own styles read those as misc, with a warning).
constexpr TypeRow typeTable[] = {
    {"JournalArticle", "article"},
    {"ArticleInAPeriodical", "periodical"},
    {"Book", "book"},
    {"ConferenceProceedings", "inproceedings"},
    {"Report", "techreport"},
    {"InternetSite", "online"},
    {"DocumentFromInternetSite", "webpage"},
    {"Patent", "patent"},
    {"ElectronicSource", "software"},
    {"SoundRecording", "audio"},
    {"Film", "video"},
    {"Art", "artwork"},
    {"Performance", "performance"},
    {"Interview", "interview"},
    {"Case", "jurisdiction"},
    {"Misc", "misc"},
};

constexpr TypeRow thesisTable[] = {
    {"PhD Thesis", "phdthesis"},
    {"Master's Thesis", "mastersthesis"},
};

} // namespace

std::string_view bibEntryType(std::string_view sourceType, std::string_view thesisType, bool hasBookTitle)
{
    if (sourceType == "BookSection") {
        return hasBookTitle ? "incollection" : "inbook";
    }
    if (sourceType == "Report" && !thesisType.empty()) {
        for (const TypeRow &row : thesisTable) {
            if (row.sourceType == thesisType) {
                return row.entryType;
            }
        }
        return "thesis";
    }
    for (const TypeRow &row : typeTable) {
        if (row.sourceType == sourceType) {
            return row.entryType;
        }
    }
    return "misc";
}

std::string_view impliedThesisKind(std::string_view entryType)
{
    for (const TypeRow &row : thesisTable) {
        if (row.entryType == entryType) {
            return row.sourceType;
        }
    }
    return {};
}

} // namespace bibsources
