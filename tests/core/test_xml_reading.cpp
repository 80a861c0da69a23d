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

} // namespace
} // namespace bibsources
