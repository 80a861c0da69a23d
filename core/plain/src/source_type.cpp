#include "source_type.h"

#include <array>
#include <utility>

namespace bibsources {

std::string convertPaperType(std::string_view entryType)
{
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 12> table{{
        {"article", "JournalArticle"},
        {"inproceedings", "ConferenceProceedings"},
        {"conference", "ConferenceProceedings"},
        {"proceedings", "ConferenceProceedings"},
        {"book", "Book"},
        {"inbook", "BookSection"},
        {"booklet", "BookSection"},
        {"phdthesis", "Report"},
        {"mastersthesis", "Report"},
        {"techreport", "Report"},
        {"webpage", "DocumentFromInternetSite"},
        {"url", "InternetSite"},
    }};
    for (const auto &[bibType, sourceType] : table) {
        if (entryType == bibType) {
            return std::string(sourceType);
        }
    }
    return std::string(entryType);
}

} // namespace bibsources
