#include "record.h"
#include "source_type.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

struct TypeRow {
    const char *entryType;
    const char *sourceType;
};
class SourceType : public ::testing::TestWithParam<TypeRow> { };

TEST_P(SourceType, Maps)
{
    EXPECT_EQ(convertPaperType(GetParam().entryType), GetParam().sourceType);
}

INSTANTIATE_TEST_SUITE_P(Table, SourceType,
    ::testing::Values(TypeRow{"article", "JournalArticle"}, TypeRow{"conference", "ConferenceProceedings"},
        TypeRow{"booklet", "BookSection"}, // not "Book"
        TypeRow{"mastersthesis", "Report"}, TypeRow{"webpage", "DocumentFromInternetSite"},
        TypeRow{"url", "InternetSite"}, // not the same as webpage
        TypeRow{"incollection", "incollection"}, // passes through
        TypeRow{"Article", "Article"}, // case-sensitive
        TypeRow{"article ", "article "}, // nothing trimmed
        TypeRow{"", ""}));

TEST(SourceRecord, HasItsFiveHeadLinesAndAThesisTypeOnlyForTheses)
{
    struct Row {
        const char *type;
        const char *afterHead;
    };
    const Row rows[] = {
        {"misc", ""},
        {"phdthesis", "<b:ThesisType>PhD Thesis</b:ThesisType>\n"},
        {"mastersthesis", "<b:ThesisType>Master's Thesis</b:ThesisType>\n"},
        {"techreport", ""},
    };
    for (const Row &row : rows) {
        const Entry entry{row.type, "k", {}, 1};
        const std::string expected = std::string("<b:Source>\n<b:Tag>k</b:Tag>\n<b:SourceType>")
            + convertPaperType(row.type) + "</b:SourceType>\n<b:Guid></b:Guid>\n<b:LCID></b:LCID>\n"
            + row.afterHead + "</b:Source>\n";
        EXPECT_EQ(sourceRecord(entry), expected) << row.type;
    }
}

TEST(SourceRecord, WritesOneThesisTypeHoweverManyFields)
{
    const Entry entry{"phdthesis", "k", {{"title", "T", {}}, {"year", "1", {}}, {"note", "n", {}}}, 1};
    const std::string record = sourceRecord(entry);
    EXPECT_EQ(record.find("<b:ThesisType>"), record.rfind("<b:ThesisType>"));
    EXPECT_LT(record.find("<b:ThesisType>"), record.find("<b:Title>"));
}

} // namespace
} // namespace bibsources
