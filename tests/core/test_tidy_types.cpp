#include "tidy_types.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace bibsources {
namespace {

struct TypeRow {
    const char *entryType;
    const char *sourceType;
};

class TidyType : public ::testing::TestWithParam<TypeRow> { };

TEST_P(TidyType, MapsToOneOfTheFormatsTypes)
{
    EXPECT_EQ(tidySourceType(GetParam().entryType), GetParam().sourceType);
}

INSTANTIATE_TEST_SUITE_P(Table, TidyType,
    ::testing::Values(TypeRow{"article", "JournalArticle"}, //
        TypeRow{"periodical", "ArticleInAPeriodical"}, // a whole issue, not an article of one
        TypeRow{"booklet", "Book"}, // not a section, as in the plain mapping
        TypeRow{"manual", "Book"}, TypeRow{"mvbook", "Book"}, TypeRow{"collection", "Book"},
        TypeRow{"reference", "Book"}, TypeRow{"incollection", "BookSection"},
        TypeRow{"bookinbook", "BookSection"}, TypeRow{"inreference", "BookSection"},
        TypeRow{"conference", "ConferenceProceedings"}, // BibTeX's old name for inproceedings
        TypeRow{"proceedings", "ConferenceProceedings"}, TypeRow{"techreport", "Report"},
        TypeRow{"report", "Report"}, TypeRow{"phdthesis", "Report"}, TypeRow{"mastersthesis", "Report"},
        TypeRow{"thesis", "Report"}, TypeRow{"online", "InternetSite"}, TypeRow{"www", "InternetSite"},
        TypeRow{"electronic", "InternetSite"}, TypeRow{"patent", "Patent"},
        TypeRow{"software", "ElectronicSource"}, TypeRow{"audio", "SoundRecording"},
        TypeRow{"music", "SoundRecording"}, TypeRow{"video", "Film"}, TypeRow{"movie", "Film"},
        TypeRow{"artwork", "Art"}, TypeRow{"jurisdiction", "Case"},
        TypeRow{"InProceedings", "ConferenceProceedings"}, // case does not matter
        TypeRow{"ARTICLE", "JournalArticle"}, //
        TypeRow{"misc", "Misc"}, TypeRow{"unpublished", "Misc"}, //
        TypeRow{"customa", "Misc"}, // anything unknown
        TypeRow{"articles", "Misc"}, // whole words only
        TypeRow{"", "Misc"}),
    [](const auto &info) { return std::to_string(info.index) + "_" + info.param.sourceType; });

TEST(TidyType, EveryValueIsOneOfTheSeventeen)
{
    const std::set<std::string_view> allowed(std::begin(allSourceTypes), std::end(allSourceTypes));
    EXPECT_EQ(allowed.size(), 17u);
    for (const char *type : {"article", "book", "string", "x", "phdthesis", "online", "dataset"}) {
        EXPECT_TRUE(allowed.count(tidySourceType(type))) << type;
    }
}

TEST(ThesisKind, NamesTheKindOfTheTwoBibtexThesisTypes)
{
    EXPECT_EQ(thesisKind("phdthesis"), "PhD Thesis");
    EXPECT_EQ(thesisKind("MastersThesis"), "Master's Thesis");
    EXPECT_EQ(thesisKind("thesis"), ""); // its type field says which
    EXPECT_TRUE(isThesisType("thesis"));
    EXPECT_FALSE(isThesisType("techreport"));
}

} // namespace
} // namespace bibsources
