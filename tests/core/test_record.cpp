// The plain record: types and names.

#include "entry.h"
#include "names.h"
#include "record.h"
#include "source_type.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

// Every mapped type is in the golden documents; these are the near misses.
TEST(SourceType, MapsOnlyExactNames)
{
    const char *rows[][2] = {{"Article", "Article"}, // case-sensitive
        {"article ", "article "}, // nothing trimmed
        {"incollection", "incollection"}};
    for (const auto &row : rows) {
        EXPECT_EQ(convertPaperType(row[0]), row[1]) << row[0];
    }
}

TEST(NamePart, WritesOnlyWhatTheTokensHold)
{
    struct Row {
        Person person;
        NamePart part;
        std::string text;
    };
    const std::string longToken(100000, 'x'); // no length limit
    const Row rows[] = {{{{}, {"Jane"}}, NamePart::Last, ""},
        {{{"de la", "Cruz"}, {}}, NamePart::Last, "<b:Last>de la Cruz</b:Last>\n"}, // joined by one space
        {{{"Doe"}, {}}, NamePart::First, ""},
        {{{}, {"Jane"}}, NamePart::First, "<b:First>Jane</b:First>\n"}, // no Middle
        {{{}, {"A.", "B.", "C."}}, NamePart::First, "<b:First>A. B.</b:First>\n<b:Middle>C.</b:Middle>\n"},
        {{{""}, {}}, NamePart::Last, "<b:Last></b:Last>\n"}, // an empty token is still an element
        {{{longToken}, {}}, NamePart::Last, "<b:Last>" + longToken + "</b:Last>\n"}};
    for (const Row &row : rows) {
        EXPECT_EQ(parseNamePart(row.person, row.part), row.text) << row.text.substr(0, 40);
    }
}

TEST(ContributorBlock, WrapsTheRoleAndTheNameList)
{
    struct Row {
        const char *fieldName;
        std::optional<std::vector<Person>> names;
        const char *block;
    };
    const Row rows[]
        = {{"author", std::nullopt,
               "<b:Author>\n<b:Author>\n</b:Author>\n</b:Author>\n"}, // the splitter gave no list
            {"editor", std::vector<Person>{},
                "<b:Author>\n<b:Editor>\n<b:NameList>\n</b:NameList>\n</b:Editor>\n</b:Author>\n"},
            {"translator", std::vector<Person>{Person{}}, // an empty name gives an empty person
                "<b:Author>\n<b:Translator>\n<b:NameList>\n<b:Person>\n</b:Person>\n</b:NameList>\n"
                "</b:Translator>\n</b:Author>\n"}};
    for (const Row &row : rows) {
        EXPECT_EQ(contributorBlock(row.fieldName, Field{row.fieldName, "", row.names}), row.block)
            << row.fieldName;
    }
}

// Names, keys and types reach the record as escaped Unicode, like every field.
TEST(SourceRecord, WritesNamesKeysAndTypesAsEscapedUnicode)
{
    const std::vector<Person> people{{{"M{\\\"u}ller"}, {"J\xf6rg"}}}; // accent macro, Latin-1 token
    const std::string names = sourceRecord(Entry{"book", "k", {Field{"author", "(split)", people}}, 1});
    EXPECT_NE(names.find("<b:Last>M\xc3\xbcller</b:Last>\n<b:First>J\xc3\xb6rg</b:First>"), std::string::npos)
        << names;
    const std::vector<Person> markup{{{"<Chips>"}, {"Fish", "&"}}};
    const std::string record = sourceRecord(Entry{"my<type>", "a&b<c>", {Field{"editor", "", markup}}, 1});
    for (const char *part : {"<b:Tag>a&amp;b&lt;c&gt;</b:Tag>", "<b:SourceType>my&lt;type&gt;</b:SourceType>",
             "<b:Last>&lt;Chips&gt;</b:Last>", "<b:Middle>&amp;</b:Middle>"}) {
        EXPECT_NE(record.find(part), std::string::npos) << part << "\n" << record;
    }
}

} // namespace
} // namespace bibsources
