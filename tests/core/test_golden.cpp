// Whole documents: each tests/data/<case>.bib converts to exactly <case>.xml.
// A changed golden file is reviewed like code.

#include "bibsources/conversion.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

namespace bibsources {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;

const std::filesystem::path dataDirectory = BIBSOURCES_TEST_DATA;

class Golden : public ::testing::TestWithParam<const char *> { };

TEST_P(Golden, ConvertsToTheExpectedDocument)
{
    const std::string name = GetParam();
    TemporaryDirectory directory;
    const auto input = directory / (name + ".bib");
    std::filesystem::copy_file(dataDirectory / (name + ".bib"), input);

    const ConversionResult result = convertFile(input.string(), {}, {});

    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.outputPath, (directory / "Sources.xml").string());
    const std::string written = readFile(directory / "Sources.xml");
    EXPECT_EQ(written, readFile(dataDirectory / (name + ".xml")));
    if (name == "bad_between_good") {
        EXPECT_EQ(result.inputs.front().recordsWritten, 2);
        EXPECT_EQ(result.inputs.front().entriesSkipped, 1);
    }

    xmlDocPtr parsed = xmlReadMemory(written.data(), static_cast<int>(written.size()), "Sources.xml", nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR);
    EXPECT_NE(parsed, nullptr) << "not well-formed XML";
    xmlFreeDoc(parsed);
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden,
    ::testing::Values("lee07", // the record of an inproceedings entry
        "empty", // header and footer only
        "only_comments", // comments write nothing
        "bad_between_good", // a broken entry leaves no trace
        "fields", // every field rule, per entry type
        "names", // contributor blocks
        "accents", // TeX accents and ampersands
        "encodings"), // Latin-1 and control characters
    [](const auto &info) { return std::string(info.param); });

} // namespace
} // namespace bibsources
