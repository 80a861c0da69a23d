// What a real XML reader gives back from a written record must be the text
// the user meant: escaping, decoding and accent conversion all undone.

#include "entry.h"
#include "record.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

namespace bibsources {
namespace {

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
