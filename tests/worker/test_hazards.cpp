// Inputs on which btparse crashes, aborts, exits or runs away when it runs
// in the converter's own process. Each sits between good entries; the
// command-line tool must convert the rest, every good entry exactly once and
// in order, and end promptly.
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace bibsources::testing {
namespace {

const std::string before = "@article{before, title = {First}, author = {Jane Q. Doe}}\n";
const std::string after = "\n@book{after, title = {Last}, editor = {Ann Other}}\n";

template <typename Piece> std::string repeated(int count, Piece piece)
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += piece(i);
    }
    return text;
}

// Macros that double at each level: some level is slow, or too big, on any machine.
const std::string doublingMacros = "@string{m0 = \"ab\"}\n" + repeated(30, [](int i) {
    return "@string{m" + std::to_string(i + 1) + " = m" + std::to_string(i) + " # m" + std::to_string(i)
        + "}\n";
});

TEST(HazardRun, ConvertsEveryGoodEntryOnce)
{
    const struct {
        const char *name;
        std::string body;
        std::vector<std::string> tags; // the non-empty tags of the document, in order
        int macroRecords = 0; // records of macro definitions (their tags are empty); -1: not checked
        bool fromStandardInput = false;
    } rows[] = {
        {"NUL in a braced value", std::string("@misc{bad, title = {a\0b}}", 25), {"before", "after"}},
        {"NUL in a quoted value", std::string("@misc{bad, title = \"a\0b\"}", 26), {"before", "after"}},
        {"bare string body", "@misc \"x\"", {"before", "after"}},
        {"undefined macro pasted", "@string{a = b}\n@misc{bad, title = a # \"y\"}", {"before", "after"}, 1},
        {"percent in a syntax error", "@misc{bad, url {http://example.org/q=a%20b%s%s%s%n}}",
            {"before", "after"}},
        {"name starting with a comma",
            "@misc{bad1, author = {A and , B}}\n@misc{bad2, author = {X, Y and , A}}", {"before", "after"}},
        {"too many fields",
            "@misc{bad" + repeated(120, [](int i) { return ", f" + std::to_string(i) + " = {v}"; }) + "}",
            {"before", "after"}},
        {"author of megabytes",
            "@misc{bad, author = {" + repeated(600000, [](int i) { return "A" + std::to_string(i) + " "; })
                + "Z}}",
            {"before", "after"}},
        // The watchdog stops the worker at the slow level, and every later
        // level is quick because that macro is gone.
        {"macros doubling each level", doublingMacros + "@misc{slow, title = m30}",
            {"before", "slow", "after"}, -1},
        {"macro names past the parser table",
            repeated(19300,
                [](int i) {
                    return "@string{macro" + std::to_string(100000 + i) + "name_padding = \"v\"}\n";
                }),
            {"before", "after"}, 19299},
        {"NUL in a value read from standard input",
            "@string{m = \"x\"}\n@misc{a, title = m}\n" + std::string("@misc{bad, t = {\0}}", 19)
                + "\n@misc{b, title = m}",
            {"before", "a", "b", "after"}, 1, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string input = dir.write("in.bib", before + row.body + after);
        const std::vector<std::string> arguments
            = {"-q", "-o", dir.path("out.xml"), row.fromStandardInput ? "-" : input};
        const int status = waitFor(startCli(arguments, dir.path("err"), [&] {
            ::setenv(
                "BIBSOURCES_WORKER_TIMEOUT", "1", 1); // seconds: the slow case is stopped, not waited out
            ::dup2(::open(input.c_str(), O_RDONLY), STDIN_FILENO);
        }));
        ASSERT_EQ(status, 0) << readFile(dir.path("err"));
        std::vector<std::string> tags = tagsOf(readFile(dir.path("out.xml")));
        if (row.macroRecords >= 0) {
            EXPECT_EQ(std::count(tags.begin(), tags.end(), ""), row.macroRecords);
        }
        tags.erase(std::remove(tags.begin(), tags.end(), ""), tags.end());
        EXPECT_EQ(tags, row.tags);
    }
}

TEST(HazardRun, AWorkerAtItsMemoryLimitCostsOneEntry)
{
#ifdef BIBSOURCES_TESTS_SANITIZED
    GTEST_SKIP() << "a sanitized worker runs without a memory limit: ASan reserves terabytes";
#endif
    TempDir dir;
    WorkerSettings settings;
    settings.memoryLimit = std::uint64_t(32) << 20;
    const ReadResult result = readWithWorker(dir.write("in.bib", before + doublingMacros + after), settings);
    EXPECT_TRUE(result.report.ok()) << result.report.error;
    EXPECT_EQ(result.report.entriesSkipped, 1);
    EXPECT_EQ(std::count_if(result.report.diagnostics.begin(), result.report.diagnostics.end(),
                  [](const std::string &line) { return line.ends_with("ran out of memory on it"); }),
        1);
    ASSERT_GE(result.entries.size(), 2U);
    EXPECT_EQ(result.entries.front().key, "before");
    EXPECT_EQ(result.entries.back().key, "after");
}

} // namespace
} // namespace bibsources::testing
