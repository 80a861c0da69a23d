#include "tidy_types.h"

#include <strings.h>

namespace bibsources {

namespace {

struct TypeRow {
    std::string_view entryType;
    std::string_view sourceType;
};

// Every entry type of BibTeX's standard styles and of biblatex (its aliases
// and the types its styles do not support but define) that has a nearer
// source type than Misc. Types left out (misc, unpublished, set, xdata,
// custom*, standard, letter, ...) are Misc.
constexpr TypeRow typeTable[] = {
    {"article", "JournalArticle"},
    {"periodical", "ArticleInAPeriodical"},
    {"suppperiodical", "ArticleInAPeriodical"},
    {"book", "Book"},
    {"mvbook", "Book"},
    {"booklet", "Book"},
    {"manual", "Book"},
    {"collection", "Book"},
    {"mvcollection", "Book"},
    {"reference", "Book"},
    {"mvreference", "Book"},
    {"inbook", "BookSection"},
    {"incollection", "BookSection"},
    {"bookinbook", "BookSection"},
    {"inreference", "BookSection"},
    {"suppbook", "BookSection"},
    {"suppcollection", "BookSection"},
    {"inproceedings", "ConferenceProceedings"},
    {"conference", "ConferenceProceedings"},
    {"proceedings", "ConferenceProceedings"},
    {"mvproceedings", "ConferenceProceedings"},
    {"techreport", "Report"},
    {"report", "Report"},
    {"phdthesis", "Report"},
    {"mastersthesis", "Report"},
    {"thesis", "Report"},
    {"online", "InternetSite"},
    {"www", "InternetSite"},
    {"electronic", "InternetSite"},
    {"url", "InternetSite"},
    {"webpage", "DocumentFromInternetSite"},
    {"patent", "Patent"},
    {"software", "ElectronicSource"},
    {"dataset", "ElectronicSource"},
    {"audio", "SoundRecording"},
    {"music", "SoundRecording"},
    {"video", "Film"},
    {"movie", "Film"},
    {"artwork", "Art"},
    {"image", "Art"},
    {"performance", "Performance"},
    {"interview", "Interview"},
    {"jurisdiction", "Case"},
};

bool sameWord(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

std::string_view tidySourceType(std::string_view entryType)
{
    for (const TypeRow &row : typeTable) {
        if (sameWord(entryType, row.entryType)) {
            return row.sourceType;
        }
    }
    return "Misc";
}

std::string_view thesisKind(std::string_view entryType)
{
    if (sameWord(entryType, "phdthesis")) {
        return "PhD Thesis";
    }
    if (sameWord(entryType, "mastersthesis")) {
        return "Master's Thesis";
    }
    return {};
}

bool isThesisType(std::string_view entryType)
{
    return !thesisKind(entryType).empty() || sameWord(entryType, "thesis");
}

} // namespace bibsources
