#include "test_support.h"

#include "document.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace bibsources::testing {
namespace {

std::string goodEntries(int from, int count)
{
    std::string text;
    for (int i = from; i < from + count; ++i) {
        const std::string n = std::to_string(i);
        text += "@article{good" + n + ",\n  author = {Doe, Jane},\n  title = {Title " + n
            + "},\n  year = 2001\n}\n";
    }
    return text;
}

TEST(RunawayEntries, ARunawayNearTheTopCostsOnlyItsOwnLines)
{
    TempDir dir;
    const std::string before = goodEntries(0, 3);
    const std::string after = goodEntries(3, 9997);
    const std::string runaway = "@misc{oops,\n  title = \"oops},\n  year = 2001\n}\n";
    const std::string broken = dir.write("broken.bib", before + runaway + after);
    const std::string clean = dir.write("clean.bib", before + after);

    const Document withRunaway = buildDocument({broken});
    const Document without = buildDocument({clean});
    ASSERT_TRUE(withRunaway.ok());
    ASSERT_TRUE(without.ok());
    EXPECT_EQ(withRunaway.inputs.at(0).recordsWritten, 10000);
    EXPECT_EQ(withRunaway.inputs.at(0).entriesSkipped, 1);
    EXPECT_EQ(bodyOf(withRunaway.text), bodyOf(without.text));
    const int firstLine = 1 + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
    const std::vector<std::string> expected = {broken + ": lines " + std::to_string(firstLine) + "-"
        + std::to_string(firstLine + 3) + " skipped: unterminated quoted value"};
    EXPECT_EQ(readWithWorker(broken).report.diagnostics, expected);
}

TEST(RunawayEntries, EachKindOfBrokenEntryBetweenGoodOnesCostsOnlyItself)
{
    const struct {
        const char *why;
        std::string broken;
        std::string message; // after "file: "
        int skipped = 1;
    } rows[] = {
        {"unterminated quote", "@misc{bad, title = \"oops}\n", "line 6 skipped: unterminated quoted value"},
        {"quote inside a key", "@misc{b\"ad, title = {x}}\n", "line 6 skipped: unterminated quoted value"},
        {"unbalanced brace in a comment", "@comment{ x { y }\n", "line 6 skipped: unbalanced braces"},
        {"value not closed", "@misc{bad, title = {oops}\n", "line 6 skipped: unbalanced braces"},
        {"parenthesised, never closed", "@misc(bad, title = {x}\n", "line 6 skipped: unbalanced braces"},
        {"over several lines", "@misc{bad,\n  title = \"a\n  b},\n}\n",
            "lines 6-9 skipped: unterminated quoted value"},
        {"two in a row", "@misc{bad, title = \"x}\n@misc{worse, title = \"y}\n",
            "line 6 skipped: unterminated quoted value", 2},
        {"indented next entry", "@misc{bad, title = \"x}\n  \t", "line 6 skipped: unterminated quoted value"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        TempDir dir;
        const std::string path = dir.write("refs.bib", goodEntries(0, 1) + row.broken + goodEntries(1, 3));
        const ReadResult result = readWithWorker(path);
        EXPECT_EQ(keysOf(result), (std::vector<std::string>{"good0", "good1", "good2", "good3"}));
        EXPECT_EQ(result.report.entriesSkipped, row.skipped);
        ASSERT_FALSE(result.report.diagnostics.empty());
        EXPECT_EQ(result.report.diagnostics.front(), path + ": " + row.message);
    }
}

TEST(RunawayEntries, CleanEntriesAreNeverCutEvenWhenAValueHoldsAnEntryLine)
{
    TempDir dir;
    const std::string text = "@misc{a, title = {first line\n@misc{inside, title = {x}}\n}}\n"
                             "@misc{b, title = {syntax error} junk}\n@misc{c, title = {C}}\n";
    const ReadResult result = readWithWorker(dir.write("refs.bib", text));
    EXPECT_EQ(keysOf(result), (std::vector<std::string>{"a", "c"}));
    ASSERT_EQ(result.entries.front().fields.size(), 1U);
    EXPECT_EQ(result.entries.front().fields[0].text, "first line @misc{inside, title = {x}}");
}

TEST(EmptyInput, GivesNoParserMessage)
{
    const char *rows[] = {"", "\n\n  \n", "% just a remark\n"};
    for (const char *text : rows) {
        SCOPED_TRACE(text);
        TempDir dir;
        const ReadResult result = readWithWorker(dir.write("empty.bib", text));
        EXPECT_TRUE(result.report.ok());
        EXPECT_TRUE(result.report.diagnostics.empty()) << result.report.diagnostics.front();
        EXPECT_TRUE(result.entries.empty());
        EXPECT_EQ(result.report.entriesSkipped, 0);
    }
}

} // namespace
} // namespace bibsources::testing
