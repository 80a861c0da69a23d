#include "atomic_write.h"
#include "bibsources/conversion.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace bibsources {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

TEST(OutputPath, IsTheInputsFolderFollowedBySourcesXml)
{
    const char *rows[][2] = {{"/data/papers/refs.bib", "/data/papers/Sources.xml"},
        {"/refs.bib", "//Sources.xml"}, // the root keeps its own slash
        {"refs.bib", "./Sources.xml"}, // never the root of the file system
        {"/a b/ü.bib", "/a b/Sources.xml"}};
    for (const auto &row : rows) {
        EXPECT_EQ(outputPathFor(row[0]), row[1]) << row[0];
    }
}

// btparse keeps state between files; a second or third run in one process
// must not see anything of the first.
TEST(Convert, GivesTheSameDocumentEveryTimeInOneProcess)
{
    TemporaryDirectory directory;
    writeFile(
        directory / "refs.bib", "@article{a, title = {T}, author = {A. Author}}\n@book{b1, title = {One}}\n");
    writeFile(directory / "Sources.xml", "old contents"); // replaced
    std::string first;
    for (int run = 0; run < 3; ++run) {
        const ConversionResult result = convertFile((directory / "refs.bib").string(), {}, {});
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.inputs.front().recordsWritten, 2);
        const std::string written = readFile(directory / "Sources.xml");
        first = run == 0 ? written : first;
        EXPECT_EQ(written, first) << "run " << run;
        EXPECT_TRUE(written.starts_with("<?xml version=\"1.0\"?>\n<b:Sources "));
    }
}

// A failed run must not touch what the user already has, and must not leave
// temporary files behind.
TEST(Convert, FailureLeavesTheFolderAsItWas)
{
    // input, output ("" for the default), error start
    const char *rows[][3] = {{"nope.bib", "", "cannot open '"}, {"dir.bib", "", "cannot open '"},
        {"refs.bib", "dir.bib", "cannot write '"},
        {"refs.bib", "no-such-folder/Sources.xml", "cannot write '"}};
    for (const auto &[input, output, errorStart] : rows) {
        SCOPED_TRACE(std::string(input) + " -> " + output);
        TemporaryDirectory directory;
        writeFile(directory / "refs.bib", "@book{b1, title = {One}}\n");
        writeFile(directory / "Sources.xml", "precious");
        std::filesystem::create_directory(directory / "dir.bib");

        const ConversionResult result
            = convertFile((directory / input).string(), *output ? (directory / output).string() : "", {});

        EXPECT_FALSE(result.ok());
        EXPECT_TRUE(result.error.starts_with(errorStart)) << result.error;
        EXPECT_EQ(readFile(directory / "Sources.xml"), "precious");
        for (const auto &item : std::filesystem::directory_iterator(directory.path())) {
            EXPECT_EQ(item.path().filename().string().find(".Sources.xml."), std::string::npos)
                << item.path();
        }
    }
}

TEST(AtomicWrite, GivesANewFileOrdinaryPermissions)
{
    TemporaryDirectory directory;
    const mode_t previous = ::umask(027);
    AtomicFile file((directory / "Sources.xml").string());
    ::umask(previous);
    file.append("x");
    const std::string error = file.commit();

    ASSERT_EQ(error, "");
    struct stat info { };
    ASSERT_EQ(::stat((directory / "Sources.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u); // 0666 less the umask, not a temporary file's 0600
}

// Text is written as it comes, in pieces larger and smaller than the buffer;
// only commit() makes it visible, and an uncommitted file leaves nothing.
TEST(AtomicWrite, ShowsTheWholeTextOnlyAfterCommit)
{
    TemporaryDirectory directory;
    const auto target = directory / "Sources.xml";
    writeFile(target, "old");
    std::string expected;
    {
        AtomicFile abandoned(target.string());
        abandoned.append(std::string(3 << 20, 'a'));
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 1);

    AtomicFile file(target.string());
    for (int piece = 0; piece < 400; ++piece) {
        const std::string text(piece * 37, char('a' + piece % 26));
        file.append(text);
        expected += text;
    }
    file.append(std::string(2 << 20, 'z'));
    expected += std::string(2 << 20, 'z');
    EXPECT_EQ(readFile(target), "old");
    ASSERT_EQ(file.commit(), "");
    EXPECT_EQ(readFile(target), expected);
}

} // namespace
} // namespace bibsources
