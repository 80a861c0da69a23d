#include "package_files.h"
#include "relationships.h"
#include "test_support.h"
#include "word_package.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bibsources {
namespace {

using namespace bibsources::testing;
namespace fs = std::filesystem;

TEST(RelationshipTarget, ResolvesAgainstTheSourceFolderAndNeverLeavesThePackage)
{
    // From a part, a target: the part it names, if any.
    const std::tuple<const char *, const char *, std::optional<std::string>> rows[] = {
        {"", "word/document.xml", "word/document.xml"},
        {"", "/word/document.xml", "word/document.xml"}, // absolute: from the package root
        {"word/document.xml", "../customXml/item1.xml", "customXml/item1.xml"},
        {"word/document.xml", "./media/../styles.xml", "word/styles.xml"},
        {"word/document.xml", "my%20item.xml", "word/my item.xml"}, // escapes decoded
        {"word/document.xml", "../../etc/passwd", std::nullopt}, // climbs out
        {"word/document.xml", "http://example.org/x.xml", std::nullopt}, // not a part
        {"word/document.xml", "..", std::nullopt},
    };
    for (const auto &[source, target, part] : rows) {
        EXPECT_EQ(resolveTarget(source, {"rId1", "t", target, false}), part) << target;
    }
    EXPECT_EQ(resolveTarget("", {"rId1", "t", "word/document.xml", true}), std::nullopt) << "external";
    EXPECT_EQ(relativeTarget("word/document.xml", "customXml/item1.xml"), "../customXml/item1.xml");
    EXPECT_EQ(relativeTarget("document.xml", "customXml/item1.xml"), "customXml/item1.xml");
    EXPECT_EQ(relationshipsPartOf("word/document.xml"), "word/_rels/document.xml.rels");
    EXPECT_EQ(relationshipsPartOf(""), "_rels/.rels");
}

TEST(PackageParts, AreReadByNameWithoutRegardToCaseAndNeverWrittenToDisk)
{
    TemporaryDirectory directory;
    const fs::path path = directory / "odd.docx";
    writePackage(path, {{"Word/Document.XML", "<a/>"}, {"../escape.xml", "<b/>"}, {"/rooted.xml", "<c/>"}});
    const Package package(path.string());
    ASSERT_EQ(package.error(), "");

    EXPECT_EQ(package.readPart("word/document.xml").text, "<a/>");
    EXPECT_EQ(package.readPart("../escape.xml").text, "<b/>");
    EXPECT_EQ(package.readPart("missing.xml").error, "it has no part 'missing.xml'");
    EXPECT_EQ(package.readPart("word/document.xml", 3).error,
        "its part 'word/document.xml' would unpack to more than 0 MB");
    EXPECT_EQ(std::distance(fs::directory_iterator(directory.path()), {}), 1);
    EXPECT_FALSE(fs::exists(directory.path().parent_path() / "escape.xml"));
}

// A list part that unpacks to three gigabytes, honest about its size or
// not, is refused after reading at most what it claims and never more than
// the limit. The reading happens in a child, whose peak memory is measured.
TEST(PackageParts, ThatUnpackToGigabytesAreRefusedInBoundedMemory)
{
    constexpr std::uint64_t threeGigabytes = std::uint64_t(3) << 30;
    // What the member claims to unpack to, and what the refusal says.
    const std::pair<std::uint64_t, std::string> rows[] = {
        {threeGigabytes, "its part 'customXml/item1.xml' would unpack to more than 64 MB"},
        {1024, "its part 'customXml/item1.xml' is damaged (it unpacks to more than it says)"},
    };
    for (const auto &[claimed, says] : rows) {
        SCOPED_TRACE(claimed);
        TemporaryDirectory directory;
        const fs::path path = directory / "bomb.docx";
        writePackage(path, wordDocument({.mainRelationships = customXmlRelationship(1, "rId7")}),
            {{"customXml/item1.xml", threeGigabytes, claimed}});
        ASSERT_LT(fs::file_size(path), std::uintmax_t(8) << 20) << "the test's own package is small";

        const WordPackage opened = openWordPackage(path.string());
        EXPECT_EQ(opened.error, "'" + path.string() + "' is not a document bibsources can change: " + says);

        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            _exit(openWordPackage(path.string()).ok() ? 1 : 0);
        }
        int status = 0;
        rusage usage{};
        ASSERT_EQ(::wait4(child, &status, 0, &usage), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_LT(usage.ru_maxrss, 128 * 1024) << "peak memory in kilobytes";
    }
}

} // namespace
} // namespace bibsources
