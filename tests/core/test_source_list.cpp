#include "source_list.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace bibsources {
namespace {

const std::string xmlns = "\"http://schemas.openxmlformats.org/officeDocument/2006/bibliography\"";
const std::string root = "<b:Sources SelectedStyle=\"\" xmlns:b=" + xmlns + ">";

struct ExpectedRecord {
    std::string text;
    std::optional<std::string> tag;
};

struct ReadRow {
    const char *why;
    std::string document;
    std::vector<ExpectedRecord> records;
};

// A failing row is named by why it is there.
void PrintTo(const ReadRow &row, std::ostream *out)
{
    *out << row.why;
}

class ReadsRecords : public ::testing::TestWithParam<ReadRow> { };

TEST_P(ReadsRecords, AsTheBytesTheyHaveInTheFile)
{
    const ReadRow &row = GetParam();
    const SourceListParse parsed = parseSourceList(row.document, "x.xml");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(parsed.list.records.size(), row.records.size());
    for (size_t i = 0; i < row.records.size(); ++i) {
        EXPECT_EQ(parsed.list.recordText(parsed.list.records[i]), row.records[i].text) << "record " << i;
        EXPECT_EQ(parsed.list.records[i].tag, row.records[i].tag) << "record " << i;
    }
    EXPECT_EQ(parsed.list.text, row.document);
    const std::string_view tail = std::string_view(parsed.list.text).substr(parsed.list.recordsEnd);
    EXPECT_TRUE(tail.starts_with("</") && tail.substr(0, tail.find('>')).ends_with("Sources")) << tail;
}

const std::string one = "<b:Source><b:Tag>one</b:Tag><b:SourceType>Book</b:SourceType></b:Source>";
const std::string two = "<b:Source><b:Tag>two</b:Tag></b:Source>";

INSTANTIATE_TEST_SUITE_P(Table, ReadsRecords,
    ::testing::Values(
        ReadRow{"the word processor's own format: every record on the root's line",
            "<?xml version=\"1.0\"?>\r\n" + root + one + two + "</b:Sources>", {{one, "one"}, {two, "two"}}},
        ReadRow{"a line per element, as we write it",
            "<?xml version=\"1.0\"?>\n" + root + "\n" + one + "\n" + two + "\n</b:Sources>\n",
            {{one, "one"}, {two, "two"}}},
        ReadRow{"entities and character references are decoded in the tag",
            root + "<b:Source><b:Tag>R&amp;D&#38;&#x21;&lt;</b:Tag></b:Source></b:Sources>",
            {{"<b:Source><b:Tag>R&amp;D&#38;&#x21;&lt;</b:Tag></b:Source>", "R&D&!<"}}},
        ReadRow{"CDATA in the tag and elsewhere",
            root
                + "<b:Source><b:Title><![CDATA[</b:Source>]]></b:Title><b:Tag><![CDATA[a&b]]></b:Tag></"
                  "b:Source>"
                + "</b:Sources>",
            {{"<b:Source><b:Title><![CDATA[</b:Source>]]></b:Title><b:Tag><![CDATA[a&b]]></b:Tag></b:Source>",
                "a&b"}}},
        ReadRow{"comments between and inside records are no records",
            root + "<!-- <b:Source><b:Tag>no</b:Tag></b:Source> -->"
                + "<b:Source><!--c--><b:Tag>t<!--x-->u</b:Tag></b:Source>" + "</b:Sources>",
            {{"<b:Source><!--c--><b:Tag>t<!--x-->u</b:Tag></b:Source>", "tu"}}},
        ReadRow{"any prefix, and attributes with '>' and '/>' in quotes",
            "<bib:Sources xmlns:bib=" + xmlns
                + "><bib:Source note='a>b' x=\"/>\" ><bib:Tag>p</bib:Tag></bib:Source >" + "</bib:Sources>",
            {{"<bib:Source note='a>b' x=\"/>\" ><bib:Tag>p</bib:Tag></bib:Source >", "p"}}},
        ReadRow{"the default namespace",
            "<Sources xmlns=" + xmlns + ">\n  <Source>\n    <Tag>d</Tag>\n  </Source>\n</Sources>",
            {{"<Source>\n    <Tag>d</Tag>\n  </Source>", "d"}}},
        ReadRow{"unknown elements, an empty record, and Tag and Source in other places",
            root + "<x:Other xmlns:x='urn:x'><b:Source><b:Tag>deep</b:Tag></b:Source></x:Other>"
                + "<b:Source/><b:Source><x:Tag "
                  "xmlns:x='urn:x'>no</x:Tag><b:Guid>{1}</b:Guid><b:Tag>yes</b:Tag>"
                + "<b:Tag>second</b:Tag></b:Source></b:Sources>",
            {{"<b:Source/>", std::nullopt},
                {"<b:Source><x:Tag xmlns:x='urn:x'>no</x:Tag><b:Guid>{1}</b:Guid><b:Tag>yes</b:Tag>"
                 "<b:Tag>second</b:Tag></b:Source>",
                    "yes"}}},
        ReadRow{"a byte-order mark and a UTF-8 declaration",
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>" + root
                + "<b:Source><b:Tag>Gödel</b:Tag></b:Source></b:Sources>",
            {{"<b:Source><b:Tag>Gödel</b:Tag></b:Source>", "Gödel"}}},
        ReadRow{"Windows line ends, which the parser reads as one",
            root + "\r\n<b:Source>\r\n<b:Tag>c\r\nr</b:Tag>\r\n</b:Source>\r\n</b:Sources>\r\n",
            {{"<b:Source>\r\n<b:Tag>c\r\nr</b:Tag>\r\n</b:Source>", "c\nr"}}},
        ReadRow{"no records", root + "\n</b:Sources>", {}}));

TEST(ReadSourceList, ReopensAnEmptyRootElement)
{
    const SourceListParse parsed
        = parseSourceList("<?xml version=\"1.0\"?>\n<b:Sources xmlns:b=" + xmlns + " />\n", "x");
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    EXPECT_EQ(parsed.list.text, "<?xml version=\"1.0\"?>\n<b:Sources xmlns:b=" + xmlns + " ></b:Sources>\n");
    EXPECT_EQ(parsed.list.text.substr(parsed.list.recordsEnd), "</b:Sources>\n");
}

TEST(ReadSourceListFile, TellsAMissingFileFromOneItCannotUse)
{
    testing::TemporaryDirectory directory;
    std::filesystem::create_directory(directory / "folder.xml");
    testing::writeFile(directory / "list.xml", root + "<b:Source><b:Tag>t</b:Tag></b:Source></b:Sources>");

    const SourceListFile missing = readSourceListFile((directory / "none.xml").string());
    const SourceListFile folder = readSourceListFile((directory / "folder.xml").string());
    const SourceListFile list = readSourceListFile((directory / "list.xml").string());

    EXPECT_FALSE(missing.exists);
    EXPECT_TRUE(missing.ok());
    EXPECT_TRUE(folder.exists);
    EXPECT_EQ(folder.error, "cannot read '" + (directory / "folder.xml").string() + "': it is a directory");
    ASSERT_TRUE(list.ok()) << list.error;
    ASSERT_EQ(list.list.records.size(), 1u);
    EXPECT_EQ(list.list.records[0].tag, "t");
}

struct RefusalRow {
    const char *why;
    std::string document;
    std::string error;
};

void PrintTo(const RefusalRow &row, std::ostream *out)
{
    *out << row.why;
}

// Plain ASCII text as UTF-16LE with a byte-order mark.
std::string utf16(const std::string &ascii)
{
    std::string encoded = "\xFF\xFE";
    for (char c : ascii) {
        encoded += c;
        encoded += '\0';
    }
    return encoded;
}

class RefusesOtherFiles : public ::testing::TestWithParam<RefusalRow> { };

TEST_P(RefusesOtherFiles, WithASentence)
{
    const SourceListParse parsed = parseSourceList(GetParam().document, "x.xml");
    EXPECT_EQ(parsed.error.substr(0, GetParam().error.size()), GetParam().error);
    EXPECT_TRUE(parsed.list.records.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, RefusesOtherFiles,
    ::testing::Values(RefusalRow{"another kind of document", "<html><body>Sources</body></html>",
                          "'x.xml' is not a bibliography source list (its root element is 'html')"},
        RefusalRow{"the right name in no namespace", "<Sources><Source/></Sources>",
            "'x.xml' is not a bibliography source list (its root element 'Sources' is not in the "
            "bibliography "
            "namespace)"},
        RefusalRow{"the right name in another namespace", "<b:Sources xmlns:b='urn:other'/>",
            "'x.xml' is not a bibliography source list (its root element 'b:Sources' is not in"},
        RefusalRow{"a record cut short", root + "<b:Source><b:Tag>a</b:Tag>\n</b:Sources>",
            "'x.xml' is not well-formed XML (line 2: "},
        RefusalRow{"something after the root", root + "</b:Sources><b:Source/>",
            "'x.xml' is not well-formed XML (line 1: "},
        RefusalRow{"an undeclared prefix inside a record",
            root + "<b:Source><q:Tag>a</q:Tag></b:Source></b:Sources>",
            "'x.xml' is not well-formed XML (line 1: "},
        RefusalRow{"an empty file", "", "'x.xml' is not a bibliography source list (it is empty)"},
        RefusalRow{"not XML at all", "@book{a, title = {T}}\n", "'x.xml' is not well-formed XML (line 1: "},
        RefusalRow{"another encoding: records we add are UTF-8",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + root + "</b:Sources>",
            "'x.xml' is not a bibliography source list (it is in ISO-8859-1, not UTF-8)"},
        RefusalRow{"UTF-16, told by its byte-order mark", utf16(root + "</b:Sources>"),
            "'x.xml' is not a bibliography source list (it is in UTF-16"},
        RefusalRow{"a document type declaration, which could define entities",
            "<!DOCTYPE b:Sources [<!ENTITY e 'x'>]>" + root
                + "<b:Source><b:Tag>&e;</b:Tag></b:Source></b:Sources>",
            "'x.xml' is not a bibliography source list (it has a document type declaration)"}));

} // namespace
} // namespace bibsources
