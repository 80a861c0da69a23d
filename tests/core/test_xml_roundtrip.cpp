// What a real XML reader gives back from a written record must be the text
// the user meant: escaping, decoding and accent conversion all undone.

#include "entry.h"
#include "record.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

namespace bibsources {
namespace {

// The text of the first element named `name` in the document, as libxml2 reads it.
std::string firstElementText(const std::string &record, const char *name)
{
    const std::string document
        = "<?xml version=\"1.0\"?>\n<b:Sources xmlns:b=\"urn:x\">\n" + record + "</b:Sources>\n";
    xmlDocPtr parsed = xmlReadMemory(document.data(), static_cast<int>(document.size()), "record.xml",
        nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!parsed) {
        return "<not well-formed>";
    }
    std::string text = "<missing>";
    std::vector<xmlNodePtr> pending{xmlDocGetRootElement(parsed)};
    while (!pending.empty()) {
        xmlNodePtr node = pending.back();
        pending.pop_back();
        if (node->type == XML_ELEMENT_NODE && xmlStrcmp(node->name, BAD_CAST name) == 0) {
            xmlChar *content = xmlNodeGetContent(node);
            text = reinterpret_cast<const char *>(content);
            xmlFree(content);
            break;
        }
        for (xmlNodePtr child = node->last; child; child = child->prev) {
            pending.push_back(child);
        }
    }
    xmlFreeDoc(parsed);
    return text;
}

TEST(XmlRoundTrip, AReaderGetsBackWhatTheEntryMeant)
{
    struct Row {
        const char *why;
        const char *field;
        const char *parserText;
        const char *element;
        const char *readBack;
    };
    const Row rows[] = {
        {"angle brackets in a title", "title", "a<b>c", "Title", "a<b>c"},
        {"angle brackets in a url", "url", "a<b>c", "URL", "a<b>c"},
        {"ampersand in a url", "url", "a&b", "URL", "a&b"},
        {"an entity typed by the user stays text", "title", "&amp;", "Title", "&amp;"},
        {"Latin-1 bytes", "title", "Caf\xe9 cr\xe8me", "Title", "Caf\xc3\xa9 cr\xc3\xa8me"},
        {"Windows-1252 euro sign", "title", "\x80", "Title", "\xe2\x82\xac"},
        {"UTF-8 kept", "title", "Caf\xc3\xa9", "Title", "Caf\xc3\xa9"},
        {"control characters dropped", "title",
            "a\x01"
            "b\x0b"
            "c\td",
            "Title", "abc\td"},
        {"accent macros", "title", "Sch{\\\"o}n {\\v c}", "Title", "Sch\xc3\xb6n \xc4\x8d"},
        {"quotes pass", "publisher", "\"Q\" & 'A'", "Publisher", "\"Q\" & 'A'"},
    };
    for (const Row &row : rows) {
        Entry entry{"misc", "k", {Field{row.field, row.parserText, std::nullopt}}, 1};
        EXPECT_EQ(firstElementText(sourceRecord(entry), row.element), row.readBack) << row.why;
    }
}

TEST(XmlRoundTrip, PersonNamesComeBackAsUnicode)
{
    const std::vector<Person> people{
        {{"M{\\\"u}ller"}, {"J\xf6rg"}}, // accent macro, and a Latin-1 token
        {{"Garcia", "Marquez"}, {"Gabriel"}}, // several last tokens, one space
        {{"<Chips>"}, {"Fish", "&"}}, // markup characters in names
    };
    Entry entry{"book", "k", {Field{"author", "(split)", people}}, 1};
    const std::string record = sourceRecord(entry);

    EXPECT_EQ(firstElementText(record, "Last"), "M\xc3\xbcller");
    EXPECT_EQ(firstElementText(record, "First"), "J\xc3\xb6rg");
    EXPECT_NE(record.find("<b:Last>Garcia Marquez</b:Last>"), std::string::npos);
    EXPECT_NE(
        record.find("<b:Last>&lt;Chips&gt;</b:Last>\n<b:First>Fish</b:First>\n<b:Middle>&amp;</b:Middle>"),
        std::string::npos);
}

TEST(XmlRoundTrip, KeysAndTypesAreEscapedToo)
{
    Entry entry{"my<type>", "a&b<c>", {}, 1};
    const std::string record = sourceRecord(entry);

    EXPECT_EQ(firstElementText(record, "Tag"), "a&b<c>");
    EXPECT_EQ(firstElementText(record, "SourceType"), "my<type>");
}

} // namespace
} // namespace bibsources
