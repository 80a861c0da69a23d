// Inputs on which btparse crashes, aborts, exits or runs away when it runs
// in the converter's own process. Each sits between good entries; the
// command-line tool must convert the rest, every good entry exactly once and
// in order, and end promptly.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace bibsources::testing {
namespace {

const std::string before = "@article{before, title = {First}, author = {Jane Q. Doe}}\n";
const std::string after = "\n@book{after, title = {Last}, editor = {Ann Other}}\n";

std::string repeated(int count, const std::function<std::string(int)> &piece)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += piece(i);
    }
    return text;
}

struct Hazard {
    const char *name;
    std::function<std::string()> body;
    // The non-empty tags the converted document holds, in order.
    std::vector<std::string> tags;
    // Records of macro definitions (their tags are empty); -1: not checked.
    int macroRecords = 0;
};

std::vector<Hazard> hazards()
{
    return {
        {"nul_in_braced_value", [] { return std::string("@misc{bad, title = {a\0b}}", 25); },
         {"before", "after"}},
        {"nul_in_quoted_value", [] { return std::string("@misc{bad, title = \"a\0b\"}", 26); },
         {"before", "after"}},
        {"bare_string_body", [] { return std::string("@misc \"x\""); }, {"before", "after"}},
        {"undefined_macro_pasted", [] { return std::string("@string{a = b}\n@misc{bad, title = a # \"y\"}"); },
         {"before", "after"}, 1},
        {"percent_in_syntax_error",
         [] { return std::string("@misc{bad, url {http://example.org/q=a%20b%s%s%s%n}}"); },
         {"before", "after"}},
        {"name_starting_with_comma", [] { return std::string("@misc{bad1, author = {A and , B}}\n"
                                                             "@misc{bad2, author = {X, Y and , A}}"); },
         {"before", "after"}},
        {"too_many_fields",
         [] { return "@misc{bad" + repeated(120, [](int i) { return ", f" + std::to_string(i) + " = {v}"; }) + "}"; },
         {"before", "after"}},
        {"author_of_megabytes",
         [] { return "@misc{bad, author = {" + repeated(600000, [](int i) { return "A" + std::to_string(i) + " "; })
                  + "Z}}"; },
         {"before", "after"}},
        {"macros_doubling_each_level",
         // Some level is slow on any machine; the watchdog stops the worker
         // there, and every later level is quick because that macro is gone.
         [] { return "@string{m0 = \"ab\"}\n"
                  + repeated(30, [](int i) { return "@string{m" + std::to_string(i + 1) + " = m"
                                                     + std::to_string(i) + " # m" + std::to_string(i) + "}\n"; })
                  + "@misc{slow, title = m30}"; },
         {"before", "slow", "after"}, -1},
        {"macro_names_past_the_parser_table",
         [] { return repeated(19300, [](int i) { return "@string{macro" + std::to_string(100000 + i)
                                                         + "name_padding = \"v\"}\n"; }); },
         {"before", "after"}, 19299},
    };
}

class HazardRun : public ::testing::TestWithParam<Hazard> {};

TEST_P(HazardRun, ConvertsEveryGoodEntryOnce)
{
#ifndef CLI_PATH
    GTEST_SKIP() << "the command-line tool is not built";
#else
    const Hazard &hazard = GetParam();
    TempDir dir;
    const std::string input = dir.write("in.bib", before + hazard.body() + after);
    const std::string output = dir.path("out.xml");
    const std::string command = "BIBSOURCES_WORKER_TIMEOUT=1 " + quoted(CLI_PATH) + " -q -o "
        + quoted(output) + " " + quoted(input) + " 2>" + quoted(dir.path("err"));
    ASSERT_EQ(runShell(command), 0) << readFile(dir.path("err"));

    std::vector<std::string> tags = tagsOf(readFile(output));
    if (hazard.macroRecords >= 0) {
        EXPECT_EQ(std::count(tags.begin(), tags.end(), ""), hazard.macroRecords);
    }
    tags.erase(std::remove(tags.begin(), tags.end(), ""), tags.end());
    EXPECT_EQ(tags, hazard.tags);
#endif
}

INSTANTIATE_TEST_SUITE_P(Table, HazardRun, ::testing::ValuesIn(hazards()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(HazardRun, ReportsTheSkippedEntryWithItsLine)
{
    TempDir dir;
    const std::string input = dir.write("in.bib", before + "\n\n" + std::string("@misc{bad, t = {\0}}", 19) + after);
    const ReadResult result = readWithWorker(input);
    EXPECT_TRUE(result.report.ok()) << result.report.error;
    EXPECT_EQ(result.report.entriesSkipped, 1);
    EXPECT_EQ(result.report.diagnostics,
              std::vector<std::string>{input + ": entry near line 4 skipped: the parser crashed on it"});
}

TEST(HazardRun, AWorkerAtItsMemoryLimitCostsOneEntry)
{
    TempDir dir;
    std::string macros = "@string{m0 = \"ab\"}\n";
    for (int i = 1; i <= 30; ++i) {
        macros += "@string{m" + std::to_string(i) + " = m" + std::to_string(i - 1) + " # m"
            + std::to_string(i - 1) + "}\n";
    }
    const std::string input = dir.write("in.bib", before + macros + after);
    ::setenv("BIBSOURCES_WORKER_MEMORY_MB", "64", 1);
    const ReadResult result = readWithWorker(input);
    ::unsetenv("BIBSOURCES_WORKER_MEMORY_MB");
    EXPECT_TRUE(result.report.ok()) << result.report.error;
    EXPECT_EQ(result.report.entriesSkipped, 1);
    EXPECT_EQ(std::count_if(result.report.diagnostics.begin(), result.report.diagnostics.end(),
                            [](const std::string &line) { return line.ends_with("ran out of memory on it"); }),
              1);
    ASSERT_GE(result.entries.size(), 2U);
    EXPECT_EQ(result.entries.front().key, "before");
    EXPECT_EQ(result.entries.back().key, "after");
}

TEST(HazardRun, ADirectoryFailsTheRunClearly)
{
#ifndef CLI_PATH
    GTEST_SKIP() << "the command-line tool is not built";
#else
    TempDir dir;
    std::filesystem::create_directory(dir.path("x.bib"));
    const std::string command = quoted(CLI_PATH) + " -o " + quoted(dir.path("out.xml")) + " "
        + quoted(dir.path("x.bib")) + " 2>" + quoted(dir.path("err"));
    EXPECT_EQ(runShell(command), 1);
    EXPECT_NE(readFile(dir.path("err")).find("is a directory"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path("out.xml")));
#endif
}

} // namespace
} // namespace bibsources::testing
