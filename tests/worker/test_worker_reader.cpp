#include "test_support.h"

#include "document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace bibsources::testing {
namespace {

// A varied file: macros defined early and used late, names, comments,
// preambles, junk, syntax errors (one of them the kind that leaves btparse's
// recovery flag set), parenthesised entries, Latin-1 and UTF-8 text, CRLF
// line ends, and more than one block of the worker's output.
// Without syntax errors nothing in it sets btparse's recovery flag, which a
// worker restarted behind a crash does not inherit.
std::string variedFile(int entries, unsigned seed, bool syntaxErrors = true)
{
    std::mt19937 random(seed);
    std::string text = "@string{jan = \"January\"}\n@string(pub = {Some  Press})\n";
    const char *pieces[] = {
        "@article{k%d, author = {Doe, Jane and van der Berg, Jan Q. and {Org Inc}},\n"
        "  title = {On {B}races} # \" and \" # jan, year = 2001, journal = pub}\n",
        "@book(k%d, editor = \"Ann Other and B. C. Dee\", title = \"caf\xc3\xa9 \xe9t\xe9\")\r\n",
        "@misc{k%d, url = {http://example.org/a%%20b}, note = {a < b & c}}\n",
        "junk between entries\n@inproceedings{k%d, booktitle = {Conf}, pages = 1--2,}\n",
        "@comment{not an entry}\n@preamble{\"\\newcommand{x}\"}\n@phdthesis{k%d, school = {U}}\n",
        "@phdthesis{k%d}\n", // syntax error: no comma
        "@misc{k%d, title = {x} # }\n", // leaves the recovery flag set
        "@misc{k%d, title {no equals}}\n", // syntax error
        "@techreport{k%d, author = {A and and B}, title = jan # { } # pub}\n",
    };
    for (int i = 0; i < entries; ++i) {
        std::size_t piece = random() % std::size(pieces);
        if (piece >= 5 && piece <= 7 && !syntaxErrors) {
            piece = 0;
        }
        char entry[512];
        std::snprintf(entry, sizeof entry, pieces[piece], i);
        text += entry;
    }
    return text + "@misc{last, title = {no newline at the end}}";
}

void expectSameRead(const ReadResult &worker, const ReadResult &reference)
{
    EXPECT_EQ(worker.report.error, reference.report.error);
    EXPECT_EQ(worker.report.entriesSkipped, reference.report.entriesSkipped);
    EXPECT_EQ(worker.report.diagnostics, reference.report.diagnostics);
    ASSERT_EQ(worker.entries.size(), reference.entries.size());
    for (std::size_t i = 0; i < worker.entries.size(); ++i) {
        ASSERT_EQ(worker.entries[i], reference.entries[i]) << "entry " << i;
    }
}

TEST(WorkerReader, GivesWhatTheInProcessLoopGives)
{
    TempDir dir;
    // Syntax errors make the worker's reader recover entries the parser
    // alone loses; that is compared below.
    std::vector<std::string> inputs = {dir.write("varied.bib", variedFile(3000, 1, false)),
        dir.write("small.bib", variedFile(20, 2, false)), dir.write("empty.bib", ""),
        dir.write("unterminated.bib", "@misc{a, title = {x}}\n@misc{b, title = {")};
    for (const auto &file : std::filesystem::directory_iterator(BIBSOURCES_TEST_DATA)) {
        if (file.path().extension() == ".bib") {
            inputs.push_back(file.path().string());
        }
    }
    for (const std::string &input : inputs) {
        SCOPED_TRACE(input);
        expectSameRead(readWithWorker(input), readInProcess(input));
    }
}

TEST(WorkerReader, WithSyntaxErrorsGivesEveryEntryTheInProcessLoopGivesAndMore)
{
    TempDir dir;
    const std::string input = dir.write("varied.bib", variedFile(3000, 1));
    const ReadResult worker = readWithWorker(input);
    const ReadResult reference = readInProcess(input);
    EXPECT_GT(worker.entries.size(), reference.entries.size());
    auto next = worker.entries.begin();
    for (const Entry &entry : reference.entries) {
        next = std::find(next, worker.entries.end(), entry);
        ASSERT_NE(next, worker.entries.end()) << "lost: " << entry.key;
        ++next;
    }
}

// The file with the entry at [from, to) replaced by blanks, its line feeds
// kept: what the parser would have given had the entry not been there.
std::string blankedOut(std::string text, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to; ++i) {
        if (text[i] != '\n') {
            text[i] = ' ';
        }
    }
    return text;
}

TEST(WorkerReader, ResumesBehindAnEntryTheParserCrashesOn)
{
    const std::string bad = std::string("@misc{bad, title = {a\0b}}", 25);
    const std::string varied = variedFile(1500, 3, false);
    // The first entry, one deep inside a block of the worker's output, and
    // the last: each with macros defined before it and used after it.
    for (std::size_t at : {std::size_t(0), varied.rfind("\n@", varied.size() / 2) + 1, varied.size()}) {
        SCOPED_TRACE("bad entry at byte " + std::to_string(at));
        TempDir dir;
        const std::string text = varied.substr(0, at) + bad + "\n" + varied.substr(at);
        const ReadResult worker = readWithWorker(dir.write("bad.bib", text));
        ReadResult expected
            = readInProcess(dir.write("bad.bib.expected", blankedOut(text, at, at + bad.size())));

        const int line = 1 + static_cast<int>(std::count(text.begin(), text.begin() + at, '\n'));
        const std::string crash = dir.path("bad.bib") + ": entry near line " + std::to_string(line)
            + " skipped: the parser crashed on it";
        const auto found
            = std::find(worker.report.diagnostics.begin(), worker.report.diagnostics.end(), crash);
        ASSERT_NE(found, worker.report.diagnostics.end());
        ++expected.report.entriesSkipped;
        expected.report.diagnostics.insert(
            expected.report.diagnostics.begin() + (found - worker.report.diagnostics.begin()), crash);
        for (std::string &message : expected.report.diagnostics) {
            if (const auto name = message.find("bad.bib.expected"); name != std::string::npos) {
                message.erase(name + 7, 9);
            }
        }
        expectSameRead(worker, expected);
    }
}

TEST(WorkerReader, ARepeatedStretchIsParsedWithTheMacrosOfItsStart)
{
    // The worker dies with the entries before the bad one still unsent; the
    // careful worker that repeats them must not already know "m", or it
    // would make it "bb".
    TempDir dir;
    std::string text = "@string{m = m # \"b\"}\n";
    for (int i = 0; i < 2000; ++i) {
        text += "@misc{filler" + std::to_string(i) + ", title = {Some title of moderate length}}\n";
    }
    text += "@misc{before, title = m}\n" + std::string("@misc{bad, t = {\0}}", 19)
        + "\n@misc{after, title = m}\n";
    const ReadResult result = readWithWorker(dir.write("refs.bib", text));
    ASSERT_GE(result.entries.size(), 2U);
    for (const Entry *entry : {&result.entries.rbegin()[1], &result.entries.back()}) {
        SCOPED_TRACE(entry->key);
        ASSERT_EQ(entry->fields.size(), 1U);
        EXPECT_EQ(entry->fields[0].text, "b");
    }
    EXPECT_EQ(result.report.entriesSkipped, 1);
}

TEST(WorkerReader, TheSameFileThreeTimesGivesTheSameEntries)
{
    TempDir dir;
    const std::string input = dir.write("refs.bib", variedFile(200, 4));
    const ReadResult first = readWithWorker(input);
    for (int run = 0; run < 2; ++run) {
        expectSameRead(readWithWorker(input), first);
    }
}

std::string bodyOf(const std::string &document)
{
    const auto start = document.find(">\n", document.find("<b:Sources")) + 2;
    return document.substr(start, document.rfind("</b:Sources>") - start);
}

TEST(WorkerReader, AMergedRunGivesTheRecordsOfSeparateRuns)
{
    TempDir dir;
    // After the first file's error, btparse run in one process would swallow
    // the entry after the second file's error too.
    const std::string first = dir.write("a.bib", "@misc{a1, title = {A}}\n@misc{e1, title = {x} # }\n");
    const std::string second
        = dir.write("b.bib", "@misc{b1, title = {B}}\n@misc{e2, title = {x} # }\n@misc{b2, title = {C}}\n");
    const Document merged = buildDocument({first, second});
    ASSERT_TRUE(merged.ok());
    EXPECT_EQ(
        bodyOf(merged.text), bodyOf(buildDocument({first}).text) + bodyOf(buildDocument({second}).text));
    EXPECT_EQ(tagsOf(merged.text), (std::vector<std::string>{"a1", "b1", "b2"}));
    EXPECT_EQ(merged.inputs.at(1).recordsWritten, 2);
}

TEST(WorkerReader, AHelperThatCannotRunFailsTheRunInsteadOfGivingNothing)
{
    TempDir dir;
    const std::string input = dir.write("refs.bib", "@misc{a, title = {A}}\n");
    const char *rows[][2] = {
        {"/nonexistent/bibsources-parse", "No such file or directory"},
        {"/bin/false", "failed before it was ready"},
        {"/bin/echo", "failed before it was ready"}, // writes no frames
    };
    for (const auto &[helper, says] : rows) {
        ConversionSettings settings;
        settings.helperPath = helper;
        const ConversionResult result = convertFile(input, dir.path("Sources.xml"), settings);
        EXPECT_NE(result.error.find(says), std::string::npos) << helper << ": " << result.error;
        EXPECT_FALSE(std::filesystem::exists(dir.path("Sources.xml"))) << helper;
    }
}

TEST(WorkerReader, StandardInputIsReadAndSurvivesACrash)
{
    if (!cliPath) {
        GTEST_SKIP() << "the command-line tool is not built";
    }
    TempDir dir;
    const std::string input = dir.write("in.bib",
        "@string{m = \"x\"}\n@misc{a, title = m}\n" + std::string("@misc{bad, t = {\0}}", 19)
            + "\n@misc{b, title = m}\n");
    ASSERT_EQ(runCli({"-q", "-o", dir.path("out.xml"), "-"}, dir.path("err"), input), 0)
        << readFile(dir.path("err"));
    const std::string document = readFile(dir.path("out.xml"));
    EXPECT_EQ(tagsOf(document), (std::vector<std::string>{"", "a", "b"}));
    // The macro made before the crash is still known after it.
    const std::string title = "<b:Title>x</b:Title>";
    const auto last = document.rfind(title);
    ASSERT_NE(last, std::string::npos) << document;
    EXPECT_NE(document.rfind(title, last - 1), std::string::npos) << document;
}

} // namespace
} // namespace bibsources::testing
