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

// Macros that double at each level: some level is slow, or too big, on any machine.
std::string doublingMacros()
{
    return "@string{m0 = \"ab\"}\n" + repeated(30, [](int i) {
        return "@string{m" + std::to_string(i + 1) + " = m" + std::to_string(i) + " # m" + std::to_string(i)
            + "}\n";
    });
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
        {"undefined_macro_pasted",
            [] { return std::string("@string{a = b}\n@misc{bad, title = a # \"y\"}"); }, {"before", "after"},
            1},
        {"percent_in_syntax_error",
            [] { return std::string("@misc{bad, url {http://example.org/q=a%20b%s%s%s%n}}"); },
            {"before", "after"}},
        {"name_starting_with_comma",
            [] {
                return std::string("@misc{bad1, author = {A and , B}}\n"
                                   "@misc{bad2, author = {X, Y and , A}}");
            },
            {"before", "after"}},
        {"too_many_fields",
            [] {
                return "@misc{bad" + repeated(120, [](int i) { return ", f" + std::to_string(i) + " = {v}"; })
                    + "}";
            },
            {"before", "after"}},
        {"author_of_megabytes",
            [] {
                return "@misc{bad, author = {"
                    + repeated(600000, [](int i) { return "A" + std::to_string(i) + " "; }) + "Z}}";
            },
            {"before", "after"}},
        {"macros_doubling_each_level",
            // The watchdog stops the worker at the slow level, and every later
            // level is quick because that macro is gone.
            [] { return doublingMacros() + "@misc{slow, title = m30}"; }, {"before", "slow", "after"}, -1},
        {"macro_names_past_the_parser_table",
            [] {
                return repeated(19300, [](int i) {
                    return "@string{macro" + std::to_string(100000 + i) + "name_padding = \"v\"}\n";
                });
            },
            {"before", "after"}, 19299},
    };
}

class HazardRun : public ::testing::TestWithParam<Hazard> { };

TEST_P(HazardRun, ConvertsEveryGoodEntryOnce)
{
    if (!cliPath) {
        GTEST_SKIP() << "the command-line tool is not built";
    }
    const Hazard &hazard = GetParam();
    TempDir dir;
    const std::string input = dir.write("in.bib", before + hazard.body() + after);
    ::setenv("BIBSOURCES_WORKER_TIMEOUT", "1", 1); // seconds; the slow case is stopped, not waited out
    const int status = runCli({"-q", "-o", dir.path("out.xml"), input}, dir.path("err"));
    ::unsetenv("BIBSOURCES_WORKER_TIMEOUT");
    ASSERT_EQ(status, 0) << readFile(dir.path("err"));

    std::vector<std::string> tags = tagsOf(readFile(dir.path("out.xml")));
    if (hazard.macroRecords >= 0) {
        EXPECT_EQ(std::count(tags.begin(), tags.end(), ""), hazard.macroRecords);
    }
    tags.erase(std::remove(tags.begin(), tags.end(), ""), tags.end());
    EXPECT_EQ(tags, hazard.tags);
}

INSTANTIATE_TEST_SUITE_P(Table, HazardRun, ::testing::ValuesIn(hazards()),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HazardRun, AWorkerAtItsMemoryLimitCostsOneEntry)
{
#ifdef BIBSOURCES_TESTS_SANITIZED
    GTEST_SKIP() << "a sanitized worker runs without a memory limit: ASan reserves terabytes";
#endif
    TempDir dir;
    const std::string input = dir.write("in.bib", before + doublingMacros() + after);
    WorkerSettings settings;
    settings.memoryLimit = std::uint64_t(32) << 20;
    const ReadResult result = readWithWorker(input, settings);
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
    if (!cliPath) {
        GTEST_SKIP() << "the command-line tool is not built";
    }
    TempDir dir;
    std::filesystem::create_directory(dir.path("x.bib"));
    EXPECT_EQ(runCli({"-o", dir.path("out.xml"), dir.path("x.bib")}, dir.path("err")), 1);
    EXPECT_NE(readFile(dir.path("err")).find("is a directory"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path("out.xml")));
}

} // namespace
} // namespace bibsources::testing
