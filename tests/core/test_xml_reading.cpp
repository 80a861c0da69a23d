// The reading of XML, whatever parser is behind it: every document of
// tests/data/xml_events reads as exactly the events beside it (NAME.events),
// with the options NAME.options names, one a line:
//
//   allow-document-type   a document type declaration is passed over
//   lifted                the parser's limits are lifted
//   stop-at N             the handler stops the reading at its Nth event
//
// The browser's parser is held to the same files.
#include "test_support.h"
#include "xml_event_dump.h"
#include "xml_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace bibsources {
namespace {

const std::filesystem::path folder = std::filesystem::path(BIBSOURCES_TEST_DATA) / "xml_events";

std::vector<std::string> caseNames()
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".xml") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct CaseOptions {
    XmlReadOptions read;
    size_t stopAt = 0;
};

CaseOptions optionsOf(const std::string &name)
{
    CaseOptions options;
    const std::filesystem::path path = folder / (name + ".options");
    if (!std::filesystem::exists(path)) {
        return options;
    }
    std::istringstream lines(testing::readFile(path));
    for (std::string word; lines >> word;) {
        if (word == "allow-document-type") {
            options.read.allowDocumentType = true;
        } else if (word == "lifted") {
            options.read.lifted = true;
        } else if (word == "stop-at") {
            lines >> options.stopAt;
        } else {
            ADD_FAILURE() << path << ": unknown option '" << word << "'";
        }
    }
    return options;
}

class XmlEvents : public ::testing::TestWithParam<std::string> { };

TEST_P(XmlEvents, ReadAsTheGoldenFileSays)
{
    const std::string &name = GetParam();
    const CaseOptions options = optionsOf(name);
    const std::string events
        = describeXmlEvents(testing::readFile(folder / (name + ".xml")), options.read, options.stopAt);
    EXPECT_EQ(events, testing::readFile(folder / (name + ".events")));
}

INSTANTIATE_TEST_SUITE_P(Documents, XmlEvents, ::testing::ValuesIn(caseNames()),
    [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// The folder itself: no document without its events, none forgotten.
TEST(XmlEventsFolder, HoldsTheEventsOfEveryDocument)
{
    ASSERT_FALSE(caseNames().empty());
    for (const std::string &name : caseNames()) {
        EXPECT_TRUE(std::filesystem::exists(folder / (name + ".events"))) << name;
    }
}

// The tree made of the events: each element's own text, its children in
// order, where it stands in its parent's text, its bytes and its attributes.
TEST(XmlTree, HoldsElementsTextAndSpansAsTheEventsTellThem)
{
    const std::string text
        = "<?xml version=\"1.0\"?>\n<r xmlns=\"urn:r\" xmlns:p=\"urn:p\" a=\"1\" p:a=\"2\">"
          "one<e>two<f/>three</e>four<![CDATA[<five>]]><p:g b=\"&lt;&amp;\"></p:g></r>";
    const XmlTree tree = readXmlTree(text);
    ASSERT_TRUE(tree.ok());
    const XmlElement &root = tree.root;
    EXPECT_EQ(root.qualifiedName(), "r");
    EXPECT_EQ(root.namespaceUri, "urn:r");
    EXPECT_EQ(root.text, "onefour<five>");
    EXPECT_EQ(root.content(), "onetwothreefour<five>");
    EXPECT_EQ(root.attribute("a"), "1") << "the one in no namespace";
    ASSERT_EQ(root.children.size(), 2u);
    const XmlElement &e = root.children[0];
    EXPECT_EQ(e.textBefore, 3u);
    EXPECT_EQ(e.content(), "twothree");
    EXPECT_EQ(text.substr(e.begin, e.end - e.begin), "<e>two<f/>three</e>");
    EXPECT_EQ(text.substr(e.endTagBegin, e.end - e.endTagBegin), "</e>");
    EXPECT_EQ(e.startTagEnd, e.begin + 3);
    const XmlElement &f = e.children[0];
    EXPECT_TRUE(f.empty);
    EXPECT_EQ(f.endTagBegin, f.begin);
    EXPECT_EQ(f.end, f.startTagEnd);
    const XmlElement &g = root.children[1];
    EXPECT_TRUE(g.is("urn:p", "g"));
    EXPECT_EQ(g.attribute("b"), "<&");
    EXPECT_EQ(g.textBefore, std::string("onefour<five>").size());
    EXPECT_EQ(root.endTagBegin, text.size() - 4);
}

TEST(XmlTree, IsNotOkWhenTheReadingFails)
{
    EXPECT_FALSE(readXmlTree("<r><e></r>").ok());
    EXPECT_FALSE(readXmlTree("").ok());
    EXPECT_FALSE(readXmlTree("<!DOCTYPE r><r/>").ok());
    EXPECT_TRUE(readXmlTree("<!DOCTYPE r><r/>", XmlReadOptions{.allowDocumentType = true}).ok());
}

// Written anew, a document reads back as the same tree: the references it
// needs are made, blanks in attributes kept as references.
TEST(XmlTree, WrittenAnewReadsBackTheSame)
{
    const std::string text
        = "<r xmlns=\"urn:r\" a=\"&#9;x&#10;&#13;&quot;&lt;&amp;>\">a&amp;b&lt;c&gt;&#13;\n"
          "<e/><q:f xmlns:q=\"urn:q\" q:b=\"'\">t</q:f>u</r>";
    const XmlTree tree = readXmlTree(text);
    ASSERT_TRUE(tree.ok());
    const std::string written = xmlTreeText(tree);
    EXPECT_EQ(written,
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<r xmlns=\"urn:r\" "
        "a=\"&#9;x&#10;&#13;&quot;&lt;&amp;&gt;\">a&amp;b&lt;c&gt;&#13;\n<e/><q:f xmlns:q=\"urn:q\" "
        "q:b=\"'\">t</q:f>u</r>");
    const XmlTree again = readXmlTree(written);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.root.attribute("a"), tree.root.attribute("a"));
    EXPECT_EQ(again.root.content(), tree.root.content());
    EXPECT_EQ(xmlTreeText(again), written);
}

} // namespace
} // namespace bibsources
