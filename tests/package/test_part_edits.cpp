// The two parts the package writes again, [Content_Types].xml and a
// relationships part, are changed by edits of their bytes: the new elements
// go before the root's end tag, and every byte of the part as it was stays,
// its layout, quotes, comments and references included.
#include "content_types.h"
#include "relationships.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

const std::string typesNamespace(contentTypesNamespace);
const std::string linksNamespace(relationshipsNamespace);
const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";

ContentTypesChange listChange()
{
    ContentTypesChange change;
    change.defaults
        = {{"rels", "application/vnd.openxmlformats-package.relationships+xml"}, {"xml", "application/xml"}};
    change.overrides = {{"/customXml/itemProps1.xml", "application/props+xml"}};
    return change;
}

TEST(ContentTypesChange, AddsBeforeTheRootsEndAndKeepsEveryOtherByte)
{
    const std::string addedRels
        = "<Default Extension=\"rels\" "
          "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>";
    const std::string addedProps
        = "<Override PartName=\"/customXml/itemProps1.xml\" ContentType=\"application/props+xml\"/>";
    struct Row {
        const char *why;
        std::string part;
        std::string expected;
    };
    const Row rows[] = {
        {"the word processor's layout: all on the root's line, a CRLF after the declaration",
            declaration + "<Types xmlns=\"" + typesNamespace
                + "\"><Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>",
            declaration + "<Types xmlns=\"" + typesNamespace
                + "\"><Default Extension=\"xml\" ContentType=\"application/xml\"/>" + addedRels + addedProps
                + "</Types>"},
        {"single quotes, a comment, a reference and blanks stay as written",
            "<Types xmlns='" + typesNamespace + "'>\n  <!-- kept -->\n  <Default Extension='XML' "
                + "ContentType='application/xml'/>\n  <Override PartName='/a&amp;b.xml' ContentType='x'/>\n"
                + "</Types >\n",
            "<Types xmlns='" + typesNamespace + "'>\n  <!-- kept -->\n  <Default Extension='XML' "
                + "ContentType='application/xml'/>\n  <Override PartName='/a&amp;b.xml' ContentType='x'/>\n"
                + addedRels + addedProps + "</Types >\n"},
        {"under the root's prefix",
            "<ct:Types xmlns:ct=\"" + typesNamespace
                + "\"><ct:Default Extension=\"xml\" ContentType=\"a\"/></ct:Types>",
            "<ct:Types xmlns:ct=\"" + typesNamespace + "\"><ct:Default Extension=\"xml\" ContentType=\"a\"/>"
                + "<ct:Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
                + "relationships+xml\"/><ct:Override PartName=\"/customXml/itemProps1.xml\" "
                + "ContentType=\"application/props+xml\"/></ct:Types>"},
        {"an empty root is opened", "<Types xmlns=\"" + typesNamespace + "\" />",
            "<Types xmlns=\"" + typesNamespace + "\" >"
                + "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package."
                + "relationships+xml\"/><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                + addedProps + "</Types>"},
        {"an override for the part already there is retyped in its start tag alone",
            "<Types xmlns=\"" + typesNamespace
                + "\"><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                + "<Default Extension=\"rels\" ContentType=\"r\"/><Override ContentType='old'   "
                + "PartName='/CUSTOMXML/itemprops1.xml' ></Override></Types>",
            "<Types xmlns=\"" + typesNamespace
                + "\"><Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                + "<Default Extension=\"rels\" ContentType=\"r\"/><Override "
                  "ContentType=\"application/props+xml\" "
                + "PartName=\"/CUSTOMXML/itemprops1.xml\"></Override></Types>"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        const ContentTypesWritten written = changeContentTypes(row.part, listChange());
        ASSERT_TRUE(written.ok()) << written.error;
        EXPECT_EQ(written.text, row.expected);
        EXPECT_EQ(
            parseContentTypes(written.text).types.of("customXml/itemProps1.xml"), "application/props+xml");
    }
}

TEST(ContentTypesChange, WritesAPartInAnotherEncodingAnewInUtf8)
{
    const std::string part = testing::encodedAs("<?xml version=\"1.0\" encoding=\"UTF-16\"?><Types xmlns=\""
            + typesNamespace + "\"><Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>",
        "UTF-16LE");
    ASSERT_FALSE(part.empty());
    const ContentTypesWritten written = changeContentTypes(part, listChange());
    ASSERT_TRUE(written.ok()) << written.error;
    EXPECT_EQ(written.text,
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Types xmlns=\"" + typesNamespace
            + "\"><Default Extension=\"xml\" ContentType=\"application/xml\"/><Default Extension=\"rels\" "
            + "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/><Override "
            + "PartName=\"/customXml/itemProps1.xml\" ContentType=\"application/props+xml\"/></Types>");
}

TEST(ContentTypesChange, RefusesWhatIsNoListOfContentTypes)
{
    EXPECT_EQ(changeContentTypes("<Types/>", listChange()).error,
        "its root element is not a list of content types");
    EXPECT_EQ(changeContentTypes("<Types xmlns=\"" + typesNamespace + "\">", listChange()).error.substr(0, 7),
        "line 1:");
}

TEST(RelationshipAdded, GoesBeforeTheRootsEndWithAFreshIdAndEveryOtherByteKept)
{
    struct Row {
        const char *why;
        std::string part;
        std::string expected;
    };
    const std::string added = "<Relationship Id=\"rId2\" Type=\"urn:t\" Target=\"a&amp;b.xml\"/>";
    const Row rows[] = {
        {"the word processor's layout",
            declaration + "<Relationships xmlns=\"" + linksNamespace
                + "\"><Relationship Id=\"rId3\" Type=\"urn:s\" Target=\"styles.xml\"/><Relationship "
                  "Id=\"rId1\" "
                + "Type=\"urn:d\" Target=\"document.xml\"/></Relationships>",
            declaration + "<Relationships xmlns=\"" + linksNamespace
                + "\"><Relationship Id=\"rId3\" Type=\"urn:s\" Target=\"styles.xml\"/><Relationship "
                  "Id=\"rId1\" "
                + "Type=\"urn:d\" Target=\"document.xml\"/>" + added + "</Relationships>"},
        {"a prefixed root, a line per element and a comment",
            "<r:Relationships xmlns:r='" + linksNamespace + "'>\n <!-- x -->\n <r:Relationship Id='rId1' "
                + "Type='urn:d' Target='d.xml'/>\n</r:Relationships>",
            "<r:Relationships xmlns:r='" + linksNamespace + "'>\n <!-- x -->\n <r:Relationship Id='rId1' "
                + "Type='urn:d' Target='d.xml'/>\n<r:Relationship Id=\"rId2\" Type=\"urn:t\" "
                + "Target=\"a&amp;b.xml\"/></r:Relationships>"},
        {"an empty root is opened", "<Relationships xmlns=\"" + linksNamespace + "\"/>",
            "<Relationships xmlns=\"" + linksNamespace
                + "\"><Relationship Id=\"rId1\" Type=\"urn:t\" Target=\"a&amp;b.xml\"/></Relationships>"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        const RelationshipAdded written = addRelationship(row.part, "urn:t", "a&b.xml");
        ASSERT_TRUE(written.ok()) << written.error;
        EXPECT_EQ(written.text, row.expected);
        const RelationshipsParse read = parseRelationships(written.text);
        ASSERT_TRUE(read.ok()) << read.error;
        EXPECT_EQ(read.relationships.back().target, "a&b.xml");
    }
}

} // namespace
} // namespace bibsources
