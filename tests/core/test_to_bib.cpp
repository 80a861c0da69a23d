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

std::string entriesOf(std::string_view records)
{
    BibWriter writer;
    const BibEntries entries = writer.entries(listOf(records));
    EXPECT_TRUE(entries.ok()) << entries.error;
    return entries.text;
}

struct MappingRow {
    std::string_view record; // the children of one b:Source
    std::string_view expected; // a line (or part of one) of its entry
};

TEST(ToBib, MapsEachElementToItsField)
{
    const MappingRow rows[] = {
        {"<b:Tag>a</b:Tag><b:SourceType>BookSection</b:SourceType><b:BookTitle>B</b:BookTitle>",
            "@incollection{a,"},
        {"<b:Tag>a</b:Tag><b:SourceType>Report</b:SourceType><b:ThesisType>PhD Thesis</b:ThesisType>",
            "@phdthesis{a,\n}"},
        {"<b:Tag>a</b:Tag><b:SourceType>Report</b:SourceType><b:ThesisType>Master's "
         "Thesis</b:ThesisType>",
            "@mastersthesis{a,"},
        {"<b:Tag>a</b:Tag><b:SourceType>Report</b:SourceType><b:ThesisType>Habilitation</b:ThesisType>",
            "@thesis{a,\n  type = {Habilitation},"},
        {"<b:SourceType>Patent</b:SourceType><b:PatentNumber>US 1</b:PatentNumber>", "number = {US 1}"},
        {"<b:SourceType>Unknown</b:SourceType>", "@misc{"},
        {"<b:Author><b:Author><b:NameList><b:Person><b:Last>Lovelace</b:Last><b:First>Ada</b:First>"
         "<b:Middle>King</b:Middle></b:Person><b:Person><b:Last>Babbage</b:Last></b:Person>"
         "</b:NameList></b:Author></b:Author>",
            "author = {Lovelace, Ada King and Babbage},"},
        {"<b:Author><b:Editor><b:NameList><b:Person><b:Last>E</b:Last></b:Person></b:NameList></b:Editor>"
         "<b:Translator><b:NameList><b:Person><b:Last>T</b:Last></b:Person></b:NameList></b:Translator>"
         "</b:Author>",
            "editor = {E},\n  translator = {T},"},
        // The plain mapping's separate blocks are one list.
        {"<b:Author><b:Author><b:NameList><b:Person><b:Last>A</b:Last></b:Person></b:NameList></b:Author>"
         "</b:Author><b:Author><b:Author><b:NameList><b:Person><b:Last>B</b:Last></b:Person></b:NameList>"
         "</b:Author></b:Author>",
            "author = {A and B},"},
        {"<b:Author><b:Author><b:Corporate>World Health Organization</b:Corporate></b:Author></b:Author>",
            "author = {{World Health Organization}},"},
        {"<b:Author><b:Composer><b:NameList><b:Person><b:Last>Bach</b:Last></b:Person></b:NameList>"
         "</b:Composer></b:Author>",
            "ms-composer = {Bach},"},
        {"<b:Title>The DNA of iPhone Users</b:Title>", "title = {The {DNA} of {iPhone} {Users}},"},
        {"<b:JournalName>J</b:JournalName>", "journal = {J},"},
        {"<b:BookTitle>B</b:BookTitle><b:ConferenceName>C</b:ConferenceName>",
            "booktitle = {B},\n  eventtitle = {C},"},
        {"<b:SourceType>ConferenceProceedings</b:SourceType><b:ConferenceName>C</b:ConferenceName>",
            "booktitle = {C},\n}"},
        {"<b:Year>2001</b:Year><b:Month>September</b:Month><b:Day>3</b:Day>",
            "year = {2001},\n  month = sep,\n  day = {3},"},
        {"<b:Month>Spring</b:Month>", "month = {Spring},"},
        {"<b:YearAccessed>2020</b:YearAccessed><b:MonthAccessed>March</b:MonthAccessed>"
         "<b:DayAccessed>7</b:DayAccessed>",
            "urldate = {2020-03-07},"},
        {"<b:YearAccessed>visited in May</b:YearAccessed>", "urldate = {visited in May},"},
        {"<b:City>Reading, MA</b:City>", "address = {Reading, MA},"},
        {"<b:Publisher>P</b:Publisher>", "publisher = {P},"},
        {"<b:Institution>I</b:Institution>", "institution = {I},"},
        {"<b:SourceType>Report</b:SourceType><b:ThesisType>PhD Thesis</b:ThesisType>"
         "<b:Institution>MIT</b:Institution>",
            "school = {MIT},"},
        {"<b:Volume>3</b:Volume><b:Pages>1–69</b:Pages><b:Edition>2</b:Edition>",
            "volume = {3},\n  pages = {1--69},\n  edition = {2},"},
        {"<b:SourceType>JournalArticle</b:SourceType><b:Issue>4</b:Issue>", "number = {4},"},
        {"<b:SourceType>Book</b:SourceType><b:Issue>4</b:Issue>", "issue = {4},"},
        {"<b:SourceType>JournalArticle</b:SourceType><b:StandardNumber>1234-5678</b:StandardNumber>",
            "issn = {1234-5678},"},
        {"<b:SourceType>Book</b:SourceType><b:StandardNumber>0-201</b:StandardNumber>", "isbn = {0-201},"},
        {"<b:SourceType>Report</b:SourceType><b:StandardNumber>TR-7</b:StandardNumber>", "number = {TR-7},"},
        {"<b:Comments>Read it</b:Comments>", "note = {Read it},"},
        {"<b:URL>http://x.org/a_b%20c</b:URL><b:DOI>10.1/x_y</b:DOI>",
            "url = {http://x.org/a_b%20c},\n  doi = {10.1/x_y},"},
        {"<b:ShortTitle>S</b:ShortTitle>", "shorttitle = {S},"},
        {"<b:Type>Memo</b:Type>", "type = {Memo},"},
        {"<b:ChapterNumber>7</b:ChapterNumber><b:NumberVolumes>4</b:NumberVolumes>",
            "chapter = {7},\n  volumes = {4},"},
        {"<b:Guid>{A-B}</b:Guid><b:LCID>1033</b:LCID>", "ms-guid = {{A-B}},\n  ms-lcid = {1033},"},
    };
    for (const MappingRow &row : rows) {
        EXPECT_NE(entriesOf("<b:Source>" + std::string(row.record) + "</b:Source>").find(row.expected),
            std::string::npos)
            << row.record << "\n-- gives --\n"
            << entriesOf("<b:Source>" + std::string(row.record) + "</b:Source>");
    }
}

// Each source type the schema lists is written as an entry type that the
// converter reads as that source type again.
TEST(ToBib, WritesAnEntryTypeThatReadsBackAsItsSourceType)
{
    const std::set<std::string> types = testing::schemaSourceTypes();
    ASSERT_FALSE(types.empty());
    for (const std::string &type : types) {
        const std::string entry = entriesOf("<b:Source><b:SourceType>" + type + "</b:SourceType></b:Source>");
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

} // namespace
} // namespace bibsources
