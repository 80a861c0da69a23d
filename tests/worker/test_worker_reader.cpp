#include "document.h"
#include "test_support.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iconv.h>
#include <iterator>
#include <random>

namespace bibsources::testing {
namespace {

// A varied file: macros defined early and used late, names, comments,
// preambles, junk, parenthesised entries, Latin-1 and UTF-8 text, CRLF line
// ends, and more than one block of the worker's output. No syntax errors:
// with them, the worker's reader rightly keeps entries the parser alone loses.
std::string variedFile(int entries, unsigned seed)
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
        "@techreport{k%d, author = {A and and B}, title = jan # { } # pub}\n",
    };
    for (int i = 0; i < entries; ++i) {
        char entry[512];
        std::snprintf(entry, sizeof entry, pieces[random() % std::size(pieces)], i);
        text += entry;
    }
    return text + "@misc{last, title = {no newline at the end}}";
}

void expectSameRead(const ReadResult &worker, const ReadResult &reference)
{
    EXPECT_EQ(worker.report.error, reference.report.error);
    EXPECT_EQ(worker.report.entriesSkipped, reference.report.entriesSkipped);
    EXPECT_EQ(worker.report.diagnostics, reference.report.diagnostics);
    EXPECT_EQ(worker.entries, reference.entries);
}

// The text of each field called `name` in entry order; with no name, the keys.
std::vector<std::string> valuesOf(const ReadResult &result, const std::string &name)
{
    std::vector<std::string> values;
    for (const Entry &entry : result.entries) {
        if (name.empty()) {
            values.push_back(entry.key);
        }
        for (const Field &field : entry.fields) {
            if (field.name == name) {
                values.push_back(field.text);
            }
        }
    }
    return values;
}

TEST(WorkerReader, GivesWhatTheInProcessLoopGives)
{
    TempDir dir;
    std::vector<std::string> inputs = {dir.write("varied.bib", variedFile(3000, 1)),
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

TEST(WorkerReader, ResumesBehindAnEntryTheParserCrashesOn)
{
    const std::string bad = std::string("@misc{bad, title = {a\0b}}", 25);
    const std::string varied = variedFile(1500, 3);
    const std::size_t middle = varied.rfind("\n@", varied.size() / 2) + 1;
    // The worker dies with the entries before the bad one still unsent; the
    // careful worker that repeats them must not already know "m", or it
    // would make it "bb".
    std::string stretch = "@string{m = m # \"b\"}\n";
    for (int i = 0; i < 2000; ++i) {
        stretch += "@misc{filler" + std::to_string(i) + ", title = {Some title of moderate length}}\n";
    }
    // The first entry, one deep inside a block of the worker's output, and
    // the last: each with macros defined before it and used after it.
    const std::pair<std::string, std::string> around[]
        = {{"", varied}, {varied.substr(0, middle), varied.substr(middle)}, {varied, ""},
            {stretch + "@misc{before, title = m}\n", "@misc{after, title = m}\n"}};
    for (const auto &[before, after] : around) {
        SCOPED_TRACE("bad entry at byte " + std::to_string(before.size()));
        TempDir dir;
        const std::string text = before + bad + "\n" + after;
        // What the parser gives had the entry not been there.
        ReadResult expected
            = readInProcess(dir.write("bad.bib", before + std::string(bad.size(), ' ') + "\n" + after));
        const ReadResult worker = readWithWorker(dir.write("bad.bib", text));
        const int line = 1 + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
        const std::string crash = dir.path("bad.bib") + ": entry near line " + std::to_string(line)
            + " skipped: the parser crashed on it";
        const auto found
            = std::find(worker.report.diagnostics.begin(), worker.report.diagnostics.end(), crash);
        ASSERT_NE(found, worker.report.diagnostics.end());
        ++expected.report.entriesSkipped;
        expected.report.diagnostics.insert(
            expected.report.diagnostics.begin() + (found - worker.report.diagnostics.begin()), crash);
        expectSameRead(worker, expected);
    }
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

// UTF-8 text in another encoding (by glibc's converter), with a byte-order mark.
std::string encoded(std::string_view utf8, const char *encoding)
{
    std::string in = "\xef\xbb\xbf" + std::string(utf8), out(4 * in.size() + 4, '\0');
    char *from = in.data(), *to = out.data();
    std::size_t left = in.size(), room = out.size();
    const iconv_t converter = ::iconv_open(encoding, "UTF-8");
    EXPECT_EQ(::iconv(converter, &from, &left, &to, &room), std::size_t(0));
    ::iconv_close(converter);
    return out.substr(0, out.size() - room);
}

const std::string sample
    = "@string{pub = \"Presses universitaires\"}\r\n"
      "@book{caf\xc3\xa9, author = {M\xc3\xbcller, J\xc3\xbcrgen and \xc3\x89mile Zola},\r\n"
      "  title = {Na\xc3\xafve \xe2\x80\x9cquotes\xe2\x80\x9d and \xf0\x9d\x84\x9e music},\r\n"
      "  publisher = pub, month = jan, year = 1999}\r\n"
      "@misc{b, title = {\xe6\x97\xa5\xe6\x9c\xac}}\r\n";

TEST(InputEncoding, UnicodeWithAByteOrderMarkConvertsLikeUtf8)
{
    TempDir plainDir;
    const Document expected = buildDocument({plainDir.write("refs.bib", sample)});
    ASSERT_TRUE(expected.ok());
    ASSERT_EQ(expected.inputs.at(0).recordsWritten, 3);
    for (const char *encoding : {"UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE"}) {
        SCOPED_TRACE(encoding);
        TempDir dir;
        const std::string path = dir.write("refs.bib", encoded(sample, encoding));
        const Document document = buildDocument({path});
        ASSERT_TRUE(document.ok());
        EXPECT_EQ(document.text, expected.text);
        const ReadResult read = readWithWorker(path);
        EXPECT_TRUE(read.report.diagnostics.empty()) << read.report.diagnostics.front();
    }
}

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
    const std::string before = goodEntries(0, 3), after = goodEntries(3, 9997);
    const std::string broken
        = dir.write("broken.bib", before + "@misc{oops,\n  title = \"oops},\n  year = 2001\n}\n" + after);
    const Document withRunaway = buildDocument({broken});
    const Document without = buildDocument({dir.write("clean.bib", before + after)});
    ASSERT_TRUE(withRunaway.ok() && without.ok());
    EXPECT_EQ(withRunaway.inputs.at(0).recordsWritten, 10000);
    EXPECT_EQ(withRunaway.inputs.at(0).entriesSkipped, 1);
    EXPECT_EQ(bodyOf(withRunaway.text), bodyOf(without.text));
    // Three entries of five lines each come before it.
    EXPECT_EQ(readWithWorker(broken).report.diagnostics,
        std::vector<std::string>{broken + ": lines 16-19 skipped: unterminated quoted value"});
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
        EXPECT_EQ(valuesOf(result, ""), (std::vector<std::string>{"good0", "good1", "good2", "good3"}));
        EXPECT_EQ(result.report.entriesSkipped, row.skipped);
        ASSERT_FALSE(result.report.diagnostics.empty());
        EXPECT_EQ(result.report.diagnostics.front(), path + ": " + row.message);
    }
}

// A new helper takes over after the breaker; the file's own "feb" holds
// across it, and only the file's replacing it (on line 6) is worth a warning.
std::string resumedAfter(const std::string &breaker)
{
    return "@string{feb = \"Feb.\"}\n@misc{a, month = feb}\n" + breaker
        + "@misc{b, month = jan}\n@misc{c, month = feb}\n@string{feb = \"Later\"}\n@misc{d, month = feb}\n";
}

TEST(WorkerReader, GivesTheValuesSkipsAndMessagesOfEachInput)
{
    const struct {
        const char *why;
        std::string text;
        std::string field;
        std::vector<std::string> values;
        int skipped = 0;
        std::size_t messages = 0;
        const char *overriding = nullptr; // what the one "overriding" warning says
    } rows[] = {
        {"every month",
            "@misc{a, month = jan}@misc{b, month = feb}@misc{c, month = mar}@misc{d, month = apr}"
            "@misc{e, month = may}@misc{f, month = jun}@misc{g, month = jul}@misc{h, month = aug}"
            "@misc{i, month = sep}@misc{j, month = oct}@misc{k, month = nov}@misc{l, month = dec}",
            "month",
            {"January", "February", "March", "April", "May", "June", "July", "August", "September", "October",
                "November", "December"}},
        {"a month in any case, joined", "@misc{a, month = JAN # \"~1\"}", "month", {"January~1"}},
        {"the file's own month wins from there on",
            "@misc{a, month = jan}\n@string{jan = \"Jan.\"}\n@misc{b, month = jan}", "month",
            {"January", "Jan."}},
        {"quoted months are text", "@misc{a, month = \"jan\"}", "month", {"jan"}},
        {"months after a crash", resumedAfter(std::string("@misc{bad, t = {\0}}\n", 20)), "month",
            {"Feb.", "January", "Feb.", "Later"}, 1, 2, "line 6,"},
        {"months after a runaway entry", resumedAfter("@misc{bad, t = \"oops}\n"), "month",
            {"Feb.", "January", "Feb.", "Later"}, 1, 2, "line 6,"},
        {"no input", "", "", {}},
        {"blank lines", "\n\n  \n", "", {}},
        {"only a remark", "% just a remark\n", "", {}},
        {"a clean entry is never cut, even where a value holds an entry line",
            "@misc{a, title = {first line\n@misc{inside, title = {x}}\n}}\n"
            "@misc{b, title = {syntax error} junk}\n@misc{c, title = {C}}\n",
            "title", {"first line @misc{inside, title = {x}}", "C"}, 1, 2},
        {"UTF-16 with a lone high surrogate, and half a character at the end",
            encoded("@misc{a, title = {x", "UTF-16LE") + std::string("\x00\xd8", 2)
                + encoded("y}}\n", "UTF-16LE").substr(2) + "@",
            "title", {"x\xef\xbf\xbdy"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        TempDir dir;
        const ReadResult result = readWithWorker(dir.write("refs.bib", row.text));
        EXPECT_TRUE(result.report.ok()) << result.report.error;
        EXPECT_EQ(valuesOf(result, row.field), row.values);
        EXPECT_EQ(result.report.entriesSkipped, row.skipped);
        EXPECT_EQ(result.report.diagnostics.size(), row.messages);
        // Replacing a standard month is ordinary: only the file's replacing
        // its own definition is worth a warning.
        std::vector<std::string> warnings;
        std::copy_if(result.report.diagnostics.begin(), result.report.diagnostics.end(),
            std::back_inserter(warnings),
            [](const std::string &message) { return message.find("overriding") != std::string::npos; });
        ASSERT_EQ(warnings.size(), row.overriding ? 1U : 0U);
        if (row.overriding) {
            EXPECT_NE(warnings[0].find(row.overriding), std::string::npos) << warnings[0];
        }
    }
}

} // namespace
} // namespace bibsources::testing
