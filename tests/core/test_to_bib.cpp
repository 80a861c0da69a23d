// Source list records back to BibTeX: one row per mapping rule.
#include "bib_document.h"
#include "bib_names.h"
#include "bib_text.h"
#include "schema_types.h"
#include "tidy_types.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

std::string listOf(std::string_view records)
{
    return "<?xml version=\"1.0\"?>\n<b:Sources "
           "xmlns:b=\"http://schemas.openxmlformats.org/officeDocument/2006/bibliography\">"
        + std::string(records) + "</b:Sources>";
}

// One record per mapping rule, tests/data/to_bib/elements.xml, gives exactly
// the entries of elements.bib beside it.
TEST(ToBib, MapsEachElementToItsField)
{
    const std::filesystem::path data = std::filesystem::path(BIBSOURCES_TEST_DATA) / "to_bib";
    BibWriter writer;
    const BibEntries entries = writer.entries(testing::readFile(data / "elements.xml"));
    ASSERT_TRUE(entries.ok()) << entries.error;
    EXPECT_EQ(entries.text, testing::readFile(data / "elements.bib"));
    EXPECT_EQ(entries.messages, std::vector<std::string>{});
}

// Each source type the schema lists is written as an entry type that the
// converter reads as that source type again.
TEST(ToBib, WritesAnEntryTypeThatReadsBackAsItsSourceType)
{
    const std::set<std::string> types = testing::schemaSourceTypes();
    ASSERT_FALSE(types.empty());
    BibWriter writer;
    for (const std::string &type : types) {
        const std::string entry
            = writer.entries(listOf("<b:Source><b:SourceType>" + type + "</b:SourceType></b:Source>")).text;
        ASSERT_TRUE(entry.starts_with("@")) << entry;
        EXPECT_EQ(tidySourceType(entry.substr(1, entry.find('{') - 1)), type) << entry;
    }
}

TEST(ToBib, WritesTextBibTeXReadsBack)
{
    const std::pair<std::string_view, std::string_view> rows[] = {
        {"50% & $5 #1 a_b", "50\\% \\& \\$5 \\#1 a\\_b"},
        {"{x} \\ ~ ^",
            "\\textbraceleft{}x\\textbraceright{} \\textbackslash{} \\textasciitilde{} "
            "\\textasciicircum{}"},
        {"1–2—3", "1--2---3"},
        {"a  b", "a \\ b"},
        {"Ærø ünïcode", "Ærø ünïcode"},
    };
    for (const auto &[text, expected] : rows) {
        EXPECT_EQ(bibValue(text), expected) << text;
    }
}

TEST(ToBib, WritesNamesBibTeXSplitsBack)
{
    struct Row {
        std::string_view last, first, middle, expected;
    };
    const Row rows[] = {
        {"Knuth", "Donald", "E.", "Knuth, Donald E."},
        {"van Beethoven", "Ludwig", "", "van Beethoven, Ludwig"},
        {"King Jr.", "Martin Luther", "", "King, Jr., Martin Luther"},
        {"Smith, Jones", "A", "", "{Smith, Jones}, A"},
        {"Garcia de la Cruz", "Ana", "", "{Garcia de la Cruz}, Ana"},
        {"Editorial Board", "", "", "{Editorial Board}, {}"},
        {"samcarter", "", "", "{samcarter}, {}"},
        {"Lee", "Tom and Jerry", "", "Lee, {Tom and Jerry}"},
        {"with help and drawings by Guy Steele Jr.", "", "",
            "{with help and drawings by Guy Steele Jr.}, {}"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(bibPerson(row.last, row.first, row.middle), row.expected) << row.last;
    }
}

TEST(ToBib, MakesKeysBibTeXAcceptsAndKeepsThemUnique)
{
    BibWriter writer;
    const BibEntries first = writer.entries(listOf("<b:Source><b:Tag>Lee 07, {x}</b:Tag></b:Source>"
                                                   "<b:Source><b:Tag>dup</b:Tag></b:Source>"
                                                   "<b:Source><b:Tag>dup</b:Tag></b:Source>"
                                                   "<b:Source></b:Source>"));
    EXPECT_NE(first.text.find("@misc{Lee_07___x_,"), std::string::npos) << first.text;
    EXPECT_NE(first.text.find("@misc{dup,"), std::string::npos);
    EXPECT_NE(first.text.find("@misc{dup-2,"), std::string::npos);
    EXPECT_NE(first.text.find("@misc{source,"), std::string::npos);
    EXPECT_EQ(first.messages.size(), 3u);
    // Keys stay unique across the lists given to one writer, and BibTeX
    // readers do not tell keys apart by the case of their letters.
    const BibEntries second = writer.entries(listOf("<b:Source><b:Tag>dup</b:Tag></b:Source>"
                                                    "<b:Source><b:Tag>Dup</b:Tag></b:Source>"
                                                    "<b:Source><b:Tag>Pérez</b:Tag></b:Source>"
                                                    "<b:Source><b:Tag>PÉREZ</b:Tag></b:Source>"));
    for (const char *key : {"@misc{dup-3,", "@misc{Dup-4,", "@misc{Pérez,", "@misc{PÉREZ-2,"}) {
        EXPECT_NE(second.text.find(key), std::string::npos) << key << second.text;
    }
    ASSERT_EQ(second.messages.size(), 3u);
    EXPECT_EQ(second.messages[1],
        "the tag 'Dup' differs from the key 'dup' only in letter case, which BibTeX does not tell apart; "
        "this source has the key 'Dup-4'");
    EXPECT_FALSE(writer.entries("<html/>").ok());
}

// Full case folding, where lower case alone would part or join keys
// otherwise; the page folds with the browser's case mappings and is held to
// the same pairs through tests/data/to_bib/key_case.xml.
TEST(ToBib, FoldsKeysAsUnicodeCaseFoldingDoes)
{
    struct Row {
        const char *a;
        const char *b;
        bool same;
    };
    const Row rows[] = {
        {"Straße", "STRASSE", true},
        {"STRAẞE", "strasse", true},
        {"ΛΟΓΟΣ", "λογος", true},
        {"λογος", "λογοσ", true},
        {"ᏣᎳᎩ", "ꮳꮃꭹ", true},
        {"İstanbul", "i̇stanbul", true},
        {"İstanbul", "istanbul", false},
        {"ıstanbul", "istanbul", false},
        {"ıstanbul", "Istanbul", false},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(keyIdentity(row.a) == keyIdentity(row.b), row.same) << row.a << " " << row.b;
    }
    // Text that is not UTF-8 is compared as it is.
    EXPECT_EQ(keyIdentity("A\xff"), "A\xff");
}

} // namespace
} // namespace bibsources
