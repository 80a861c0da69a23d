// The plain record: types, names, and what an XML reader gets back from it.

#include "entry.h"
#include "names.h"
#include "record.h"
#include "source_type.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

namespace bibsources {
namespace {

// Every mapped type is in the golden documents; these are the near misses.
TEST(SourceType, MapsOnlyExactNames)
{
    const char *rows[][2] = {
        {"Article", "Article"}, // case-sensitive
        {"article ", "article "}, // nothing trimmed
        {"incollection", "incollection"},
    };
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
    const Row rows[] = {
        {{{}, {"Jane"}}, NamePart::Last, ""},
        {{{"de la", "Cruz"}, {}}, NamePart::Last, "<b:Last>de la Cruz</b:Last>\n"}, // joined by one space
        {{{"Doe"}, {}}, NamePart::First, ""},
        {{{}, {"Jane"}}, NamePart::First, "<b:First>Jane</b:First>\n"}, // no Middle
        {{{}, {"A.", "B.", "C."}}, NamePart::First, "<b:First>A. B.</b:First>\n<b:Middle>C.</b:Middle>\n"},
        {{{""}, {}}, NamePart::Last, "<b:Last></b:Last>\n"}, // an empty token is still an element
        {{{longToken}, {}}, NamePart::Last, "<b:Last>" + longToken + "</b:Last>\n"},
    };
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
    const Row rows[] = {
        {"author", std::nullopt,
            "<b:Author>\n<b:Author>\n</b:Author>\n</b:Author>\n"}, // the splitter gave no list
        {"editor", std::vector<Person>{},
            "<b:Author>\n<b:Editor>\n<b:NameList>\n</b:NameList>\n</b:Editor>\n</b:Author>\n"},
        {"translator", std::vector<Person>{Person{}}, // an empty name gives an empty person
            "<b:Author>\n<b:Translator>\n<b:NameList>\n<b:Person>\n</b:Person>\n</b:NameList>\n"
            "</b:Translator>\n</b:Author>\n"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(contributorBlock(row.fieldName, Field{row.fieldName, "", row.names}), row.block)
            << row.fieldName;
    }
}

// What a real XML reader gives back from a written record must be the text
// the user meant: escaping, decoding and accent conversion all undone.
xmlNodePtr findElement(xmlNodePtr node, const char *name)
{
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, BAD_CAST name) == 0) {
            return node;
        }
        if (xmlNodePtr found = findElement(node->children, name)) {
            return found;
        }
    }
    return nullptr;
}

// The text of the first element named `name` in the record, as libxml2 reads it.
std::string firstElementText(const std::string &record, const char *name)
{
    const std::string document
        = "<?xml version=\"1.0\"?>\n<b:Sources xmlns:b=\"urn:x\">\n" + record + "</b:Sources>\n";
    xmlDocPtr parsed = xmlReadMemory(document.data(), int(document.size()), "record.xml", nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!parsed) {
        return "<not well-formed>";
    }
    std::string text = "<missing>";
    if (xmlNodePtr node = findElement(xmlDocGetRootElement(parsed), name)) {
        xmlChar *content = xmlNodeGetContent(node);
        text = reinterpret_cast<const char *>(content);
        xmlFree(content);
    }
    xmlFreeDoc(parsed);
    return text;
}

TEST(XmlRoundTrip, AReaderGetsBackWhatTheEntryMeant)
{
    const char *rows[][4] = {
        // field, parser text, element, read back
        {"title", "a<b>c", "Title", "a<b>c"},
        {"url", "a<b>c", "URL", "a<b>c"},
        {"url", "a&b", "URL", "a&b"},
        {"title", "&amp;", "Title", "&amp;"}, // an entity typed by the user stays text
        {"title", "Caf\xe9 cr\xe8me", "Title", "Caf\xc3\xa9 cr\xc3\xa8me"},
        {"title",
            "a\x01"
            "b\x0b"
            "c\td",
            "Title", "abc\td"},
        {"title", "Sch{\\\"o}n {\\v c}", "Title", "Sch\xc3\xb6n \xc4\x8d"},
        {"publisher", "\"Q\" & 'A'", "Publisher", "\"Q\" & 'A'"},
    };
    for (const auto &row : rows) {
        Entry entry{"misc", "k", {Field{row[0], row[1], std::nullopt}}, 1};
        EXPECT_EQ(firstElementText(sourceRecord(entry), row[2]), row[3]) << row[0] << ": " << row[1];
    }
}

TEST(XmlRoundTrip, NamesKeysAndTypesComeBackAsUnicode)
{
    const std::vector<Person> people{{{"M{\\\"u}ller"}, {"J\xf6rg"}}}; // accent macro, Latin-1 token
    const std::string names = sourceRecord(Entry{"book", "k", {Field{"author", "(split)", people}}, 1});
    EXPECT_EQ(firstElementText(names, "Last"), "M\xc3\xbcller");
    EXPECT_EQ(firstElementText(names, "First"), "J\xc3\xb6rg");

    const std::vector<Person> markup{{{"<Chips>"}, {"Fish", "&"}}};
    const std::string record = sourceRecord(Entry{"my<type>", "a&b<c>", {Field{"editor", "", markup}}, 1});
    EXPECT_EQ(firstElementText(record, "Tag"), "a&b<c>");
    EXPECT_EQ(firstElementText(record, "SourceType"), "my<type>");
    EXPECT_EQ(firstElementText(record, "Last"), "<Chips>");
    EXPECT_EQ(firstElementText(record, "Middle"), "&");
}

} // namespace
} // namespace bibsources
