// Merging into a copy of a list (mergedCopyTarget, the page's merge) gives
// what merging into the file itself (--merge) writes there, and the list
// read is left as it was.
#include "pipeline.h"
#include "record_target.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

const std::filesystem::path data = BIBSOURCES_TEST_DATA;

struct Merged {
    ConversionResult result;
    std::string list; // the merged list's text
};

ConversionSettings settingsFor(bool tidy)
{
    ConversionSettings settings;
    settings.reader = ConversionSettings::Reader::Own;
    settings.tidy = tidy;
    settings.mergeIntoOutput = true;
    return settings;
}

Merged mergedIntoFile(const std::vector<std::string> &inputs, const std::filesystem::path &list, bool tidy)
{
    Merged merged;
    merged.result = convertFiles(inputs, list.string(), settingsFor(tidy));
    merged.list = readFile(list);
    return merged;
}

Merged mergedIntoCopy(const std::vector<std::string> &inputs, const std::filesystem::path &list, bool tidy)
{
    Merged merged;
    const ConversionSettings settings = settingsFor(tidy);
    const std::unique_ptr<RecordTarget> target = mergedCopyTarget(
        list.string(), [&](std::string_view text) { merged.list += text; }, settings);
    merged.result = runConversion(inputs, *target, settings, {});
    return merged;
}

struct CopyRow {
    std::string name;
    std::filesystem::path list;
    std::vector<std::filesystem::path> inputs;
};

TEST(MergedCopy, GivesWhatMergingIntoTheFileWrites)
{
    TemporaryDirectory directory;
    // A list the command wrote of the same file: every source is found again.
    const std::filesystem::path own = directory / "own.xml";
    ASSERT_TRUE(convertFiles({(data / "merge/refs.bib").string()}, own.string(), settingsFor(true)).ok());
    const CopyRow rows[] = {
        {"word processor's list", data / "merge/word_list.xml", {data / "merge/refs.bib"}},
        {"saved list, two inputs", data / "merge/saved/manuscript.xml",
            {data / "merge/refs.bib", data / "names.bib"}},
        {"saved list", data / "merge/saved/typhoon.xml", {data / "merge/refs.bib"}},
        {"the same sources again", own, {data / "merge/refs.bib"}},
    };
    for (const CopyRow &row : rows) {
        for (const bool tidy : {true, false}) {
            SCOPED_TRACE(row.name + (tidy ? ", tidy" : ", plain"));
            std::vector<std::string> inputs;
            for (const std::filesystem::path &input : row.inputs) {
                inputs.push_back(input.string());
            }
            const std::filesystem::path file = directory / "Sources.xml";
            std::filesystem::copy_file(row.list, file, std::filesystem::copy_options::overwrite_existing);
            const std::string before = readFile(file);

            const Merged copy = mergedIntoCopy(inputs, file, tidy);
            EXPECT_EQ(readFile(file), before) << "the list read is left as it was";
            const Merged intoFile = mergedIntoFile(inputs, file, tidy);

            ASSERT_TRUE(intoFile.result.ok()) << intoFile.result.error;
            ASSERT_TRUE(copy.result.ok()) << copy.result.error;
            EXPECT_EQ(copy.list, intoFile.list);
            EXPECT_EQ(copy.result.outputPath, file.string());
            EXPECT_TRUE(copy.result.merge.merged);
            EXPECT_EQ(copy.result.merge.recordsKept, intoFile.result.merge.recordsKept);
            EXPECT_EQ(copy.result.merge.recordsReplaced, intoFile.result.merge.recordsReplaced);
            EXPECT_EQ(copy.result.merge.recordsAdded, intoFile.result.merge.recordsAdded);
            EXPECT_EQ(copy.result.merge.messages, intoFile.result.merge.messages);
        }
    }
}

// A file that is no source list is refused in the words merging into it
// gives, before any input is read, and nothing is handed out.
TEST(MergedCopy, RefusesWhatIsNoSourceListAsTheFileMergeDoes)
{
    TemporaryDirectory directory;
    const std::filesystem::path file = directory / "page.xml";
    for (const std::string contents : {"<html><body/></html>\n", "", "<b:Sources xmlns:b=\"x\">\n"}) {
        SCOPED_TRACE(contents);
        writeFile(file, contents);
        const std::vector<std::string> inputs{(data / "merge/refs.bib").string()};

        const Merged copy = mergedIntoCopy(inputs, file, true);
        const Merged intoFile = mergedIntoFile(inputs, file, true);

        EXPECT_FALSE(intoFile.result.ok());
        EXPECT_EQ(copy.result.error, intoFile.result.error);
        EXPECT_EQ(copy.list, "");
        EXPECT_EQ(copy.result.inputs.at(0).recordsWritten, 0) << "no input is read";
    }
}

// A failing input hands out nothing, as it leaves the file alone.
TEST(MergedCopy, HandsOutNothingWhenAnInputFails)
{
    TemporaryDirectory directory;
    const std::filesystem::path missing = directory / "missing.bib";
    const Merged copy = mergedIntoCopy(
        {(data / "merge/refs.bib").string(), missing.string()}, data / "merge/word_list.xml", true);
    EXPECT_FALSE(copy.result.ok());
    EXPECT_EQ(copy.list, "");
}

} // namespace
} // namespace bibsources
