#include "atomic_write.h"
#include "convert.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace bibsources {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

constexpr const char *oneBook = "@book{b1, title = {One}}\n";

TEST(OutputPath, IsTheInputsFolderFollowedBySourcesXml)
{
    struct Row {
        const char *input;
        const char *output;
    };
    const Row rows[] = {
        {"/data/papers/refs.bib", "/data/papers/Sources.xml"},
        {"/refs.bib", "//Sources.xml"}, // the root keeps its own slash
        {"papers/refs.bib", "papers/Sources.xml"},
        {"refs.bib", "./Sources.xml"}, // never the root of the file system
        {"/a b/ü.bib", "/a b/Sources.xml"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(outputPathFor(row.input), row.output) << row.input;
    }
}

TEST(Convert, GivesTheSameDocumentEveryTimeInOneProcess)
{
    TemporaryDirectory directory;
    writeFile(
        directory / "refs.bib", "@article{a, title = {T}, author = {A. Author}}\n" + std::string(oneBook));

    std::string first;
    for (int run = 0; run < 3; ++run) {
        const ConversionResult result = convertFile((directory / "refs.bib").string());
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.recordsWritten, 2);
        EXPECT_TRUE(result.diagnostics.empty());
        const std::string written = readFile(directory / "Sources.xml");
        if (run == 0) {
            first = written;
        }
        EXPECT_EQ(written, first) << "run " << run;
    }
}

TEST(Convert, ReplacesAnExistingSourcesXmlEvenWithNoRecords)
{
    TemporaryDirectory directory;
    writeFile(directory / "refs.bib", "@comment{nothing here}\n");
    writeFile(directory / "Sources.xml", "old contents");

    const ConversionResult result = convertFile((directory / "refs.bib").string());

    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(readFile(directory / "Sources.xml").rfind("<?xml version=\"1.0\"?>\n<b:Sources ", 0), 0u);
}

// A failed run must not touch what the user already has, and must not leave
// temporary files behind.
TEST(Convert, FailureLeavesTheFolderAsItWas)
{
    struct Row {
        const char *why;
        std::function<std::string(const TemporaryDirectory &)> input;
        std::function<std::string(const TemporaryDirectory &)> output;
        const char *errorStart;
    };
    const Row rows[] = {
        {"missing input", [](auto &d) { return (d / "nope.bib").string(); }, {}, "cannot open '"},
        {"input is a folder",
            [](auto &d) {
                std::filesystem::create_directory(d / "x.bib");
                return (d / "x.bib").string();
            },
            {}, "cannot open '"},
        {"output is a folder", [](auto &d) { return (d / "refs.bib").string(); },
            [](auto &d) {
                std::filesystem::create_directory(d / "out.xml");
                return (d / "out.xml").string();
            },
            "cannot write '"},
        {"output folder missing", [](auto &d) { return (d / "refs.bib").string(); },
            [](auto &d) { return (d / "no-such-folder" / "Sources.xml").string(); }, "cannot write '"},
    };
    for (const Row &row : rows) {
        TemporaryDirectory directory;
        writeFile(directory / "refs.bib", oneBook);
        writeFile(directory / "Sources.xml", "precious");
        const std::string input = row.input(directory);
        const std::string output = row.output ? row.output(directory) : std::string();

        const ConversionResult result = convertFile(input, output);

        EXPECT_FALSE(result.ok()) << row.why;
        EXPECT_EQ(result.error.rfind(row.errorStart, 0), 0u) << row.why << ": " << result.error;
        EXPECT_EQ(readFile(directory / "Sources.xml"), "precious") << row.why;
        for (const auto &item : std::filesystem::directory_iterator(directory.path())) {
            EXPECT_EQ(item.path().filename().string().find(".Sources.xml."), std::string::npos)
                << row.why << ": left " << item.path();
        }
    }
}

TEST(AtomicWrite, GivesANewFileOrdinaryPermissions)
{
    TemporaryDirectory directory;
    const mode_t previous = ::umask(027);
    const std::string error = writeFileAtomically((directory / "Sources.xml").string(), "x");
    ::umask(previous);

    ASSERT_EQ(error, "");
    struct stat info { };
    ASSERT_EQ(::stat((directory / "Sources.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u); // 0666 less the umask, not a temporary file's 0600
}

TEST(BuildDocument, PutsTheRecordsOfEveryInputIntoOneDocumentInOrder)
{
    TemporaryDirectory directory;
    writeFile(directory / "a.bib", "@book{a1, title = {A1}}\n@book{a2, title = {A2}}\n");
    writeFile(directory / "b.bib", "@book{b1, title = {B1}}\n");

    const Document document = buildDocument({(directory / "a.bib").string(), (directory / "b.bib").string()});

    ASSERT_TRUE(document.ok());
    const auto a2 = document.text.find("<b:Tag>a2</b:Tag>");
    const auto b1 = document.text.find("<b:Tag>b1</b:Tag>");
    EXPECT_LT(document.text.find("<b:Tag>a1</b:Tag>"), a2);
    EXPECT_LT(a2, b1);
    EXPECT_NE(b1, std::string::npos);
    EXPECT_EQ(document.inputs.at(0).recordsWritten, 2);
    EXPECT_EQ(document.inputs.at(1).recordsWritten, 1);
    EXPECT_EQ(document.text.find("<?xml", 1), std::string::npos) << "one header only";
}

} // namespace
} // namespace bibsources
