#include "worker_reads.h"

#include <gtest/gtest.h>

namespace bibsources::testing {
namespace {

// The reader with the fields these tests look at.
ReadResult readWithWorker(const std::string &path)
{
    WorkerSettings settings;
    settings.fields.kept = {"title", "month"};
    return readEntries(path, settings);
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

// A broken entry between good ones, or last, costs only itself. One that
// lacks only its closing brace, or has a key btparse rejects or none, is read
// alone once mended and kept in its place; mended last, it leaves no parser to
// complain about the blanks after it.
TEST(RunawayEntries, EachKindOfBrokenEntryBetweenGoodOnesCostsOnlyItself)
{
    const struct {
        const char *why;
        std::string broken;
        std::string message; // after "file: "; empty: none
        const char *mended = nullptr; // the key it is kept under; nullptr: skipped
        int skipped = 1;
        bool last = false; // no good entries after it
    } rows[] = {
        {"unterminated quote", "@misc{bad, title = \"oops}\n", "line 6 skipped: unterminated quoted value"},
        {"quote inside a parenthesised key", "@misc(b\"ad, title = {x})\n",
            "line 6 skipped: unterminated quoted value"},
        {"unbalanced brace in a comment", "@comment{ x { y }\n", "line 6 skipped: unbalanced braces"},
        {"value not closed", "@misc{bad, title = {oops\n", "line 6 skipped: unbalanced braces"},
        {"closing it would keep a value that took the next field", "@misc{bad, title = {oops, year = 2001}\n",
            "line 6 skipped: unbalanced braces"},
        {"parenthesised, a value never closed", "@misc(bad, title = {x\n",
            "line 6 skipped: unbalanced braces"},
        {"over several lines", "@misc{bad,\n  title = \"a\n  b},\n}\n",
            "lines 6-9 skipped: unterminated quoted value"},
        {"two in a row", "@misc{bad, title = \"x}\n@misc{worse, title = \"y}\n",
            "line 6 skipped: unterminated quoted value", nullptr, 2},
        {"indented next entry", "@misc{bad, title = \"x}\n  \t", "line 6 skipped: unterminated quoted value"},
        {"no closing brace", "@misc{bad, title = {oops}\n",
            "entry 'bad' on line 6 is not closed; read up to line 6 and kept", "bad"},
        {"no closing parenthesis", "@misc(bad, title = {x}\n",
            "entry 'bad' on line 6 is not closed; read up to line 6 and kept", "bad"},
        {"several lines, a trailing comma, a blank line", "@misc{bad,\n  title = {x},\n  year = 2001,\n\n",
            "entry 'bad' on line 6 is not closed; read up to line 9 and kept", "bad"},
        {"parentheses in the key", "@online{Agilent(2022)Mods, title = {x}}\n", "", "Agilent(2022)Mods"},
        {"no key, as EndNote writes", "\t@article{\n\t  title = {x},\n\t  year = {2012}\n\t}\n", "", ""},
        {"an odd key and no closing brace", "@online{a=b, title = {x}\n",
            "entry 'a=b' on line 6 is not closed; read up to line 6 and kept", "a=b"},
        {"cut short by the end of the input", "@misc{bad, title = {x}\n",
            "entry 'bad' on line 6 is not closed; read up to line 6 and kept", "bad", 0, true},
        {"an odd key, last, blank lines after it", "@misc{bad(1), title = {x}}\n\n", "", "bad(1)", 0, true},
        {"no key, last", "\t@misc{\n\t  title = {x}\n\t}\n", "", "", 0, true},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        TempDir dir;
        const std::string after = row.last ? "" : goodEntries(1, 3);
        const ReadResult result
            = readWithWorker(dir.write("refs.bib", goodEntries(0, 1) + row.broken + after));
        std::vector<std::string> keys{"good0", "good1", "good2", "good3"};
        keys.resize(row.last ? 1 : 4);
        if (row.mended) {
            keys.insert(keys.begin() + 1, row.mended);
        }
        EXPECT_EQ(valuesOf(result, ""), keys);
        EXPECT_EQ(valuesOf(result, "title").size(), keys.size());
        EXPECT_EQ(result.report.entriesSkipped, row.mended ? 0 : row.skipped);
        EXPECT_EQ(result.lines.empty() ? "" : result.lines.front(),
            row.message.empty() ? "" : dir.path("refs.bib") + ": " + row.message);
        EXPECT_LE(result.lines.size(), row.mended ? 1U : result.lines.size());
    }
}

// The entry line behind a runaway is looked for in 64 KiB reads, each
// looking a little past its end, so an "@article{" cut by the end of one
// read is still found.
TEST(RunawayEntries, TheEntryAfterARunawayIsFoundAcrossAReadBoundary)
{
    for (std::size_t cut = 1; cut <= 8; ++cut) {
        SCOPED_TRACE("the entry starts " + std::to_string(cut) + " bytes before the boundary");
        // The reads start on the line after the runaway's.
        std::string filler;
        for (std::size_t size = 65536 - cut; filler.size() + 100 <= size;) {
            filler += std::string(99, 'x') + "\n";
        }
        filler += std::string(65536 - cut - filler.size() - 1, 'x') + "\n";
        TempDir dir;
        const std::string path = dir.write(
            "refs.bib", goodEntries(0, 1) + "@misc{bad, title = \"oops}\n" + filler + goodEntries(1, 1));
        EXPECT_EQ(valuesOf(readWithWorker(path), ""), (std::vector<std::string>{"good0", "good1"}));
    }
}

// A new helper takes over after the breaker; the file's own "feb" holds
// across it, and only the file's replacing it (on line 6) is worth a warning.
std::string resumedAfter(const std::string &breaker)
{
    return "@string{feb = \"Feb.\"}\n@misc{a, month = feb}\n" + breaker
        + "@misc{b, month = jan}\n@misc{c, month = feb}\n@string{feb = \"Later\"}\n@misc{d, month = feb}\n";
}

// Replacing a standard month is ordinary: the rows that do so have no
// message at all; only the file's replacing its own definition is worth one.
TEST(WorkerReader, GivesTheValuesSkipsAndMessagesOfEachInput)
{
    const char *overriding = ", line 6, warning: overriding existing definition of macro \"feb\"";
    std::string manyErrors;
    for (int i = 0; i < 10005; ++i) {
        manyErrors += "@misc{k, title = {x} junk}\n";
    }
    std::vector<std::string> titles;
    for (int i = 0; i < 10000; ++i) {
        titles.push_back("Title " + std::to_string(i));
    }
    const struct {
        const char *why;
        std::string text;
        std::string field;
        std::vector<std::string> values;
        int skipped = 0;
        std::size_t messages = 0;
        const char *last = nullptr; // how the last message ends
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
            {"Feb.", "January", "Feb.", "Later"}, 1, 2, overriding},
        {"months after a runaway entry", resumedAfter("@misc{bad, t = \"oops}\n"), "month",
            {"Feb.", "January", "Feb.", "Later"}, 1, 2, overriding},
        {"a runaway near the top costs only its own lines: three entries of five lines come before it",
            goodEntries(0, 3) + "@misc{oops,\n  title = \"oops},\n  year = 2001\n}\n" + goodEntries(3, 9997),
            "title", titles, 1, 1, ": lines 16-19 skipped: unterminated quoted value"},
        {"a value left open to the end: the parser's words point at the end, and at the entry too",
            goodEntries(0, 1) + "@misc{open, title = {never closed\nmore\n", "title", {"Title 0"}, 1, 2,
            ", line 8, syntax error: at end of input, expected end of entry (\"}\" or \")\") (skipping to "
            "next "
            "\"@\"); the entry left open starts on line 6"},
        {"no input", "", "", {}},
        {"more messages than are kept: two for each entry but the first", manyErrors, "", {}, 10005, 10001,
            ": 10009 more parser messages not kept"},
        {"blank lines", "\n\n  \n", "", {}},
        {"only a remark", "% just a remark\n", "", {}},
        {"a clean entry is never cut, even where a value holds an entry line",
            "@misc{a, title = {first line\n@misc{inside, title = {x}}\n}}\n"
            "@misc{b, title = {syntax error} junk}\n@misc{c, title = {C}}\n",
            "title", {"first line @misc{inside, title = {x}}", "C"}, 1, 2},
        {"UTF-16 with a lone high surrogate, and half a character at the end",
            encodedAs("@misc{a, title = {x", "UTF-16LE") + std::string("\x00\xd8", 2)
                + encodedAs("y}}\n", "UTF-16LE").substr(2) + "@",
            "title", {"x\xef\xbf\xbdy"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        TempDir dir;
        const ReadResult result = readWithWorker(dir.write("refs.bib", row.text));
        EXPECT_TRUE(result.report.ok()) << result.report.error;
        EXPECT_EQ(valuesOf(result, row.field), row.values);
        EXPECT_EQ(result.report.entriesSkipped, row.skipped);
        EXPECT_EQ(result.lines.size(), row.messages);
        if (row.last) {
            EXPECT_TRUE(result.lines.back().ends_with(row.last)) << result.lines.back();
        }
    }
}

const std::string sample
    = "@string{pub = \"Presses universitaires\"}\r\n"
      "@book{caf\xc3\xa9, author = {M\xc3\xbcller, J\xc3\xbcrgen and \xc3\x89mile Zola},\r\n"
      "  title = {Na\xc3\xafve \xe2\x80\x9cquotes\xe2\x80\x9d and \xf0\x9d\x84\x9e music},\r\n"
      "  publisher = pub, month = jan, year = 1999}\r\n"
      "@misc{b, title = {\xe6\x97\xa5\xe6\x9c\xac}}\r\n";

// Unicode with a byte-order mark gives the entries its UTF-8 text gives.
TEST(InputEncoding, UnicodeWithAByteOrderMarkReadsLikeUtf8)
{
    WorkerSettings settings;
    settings.fields = {{"author", "title", "publisher", "month"}, {"author"}};
    TempDir plainDir;
    const ReadResult expected = readEntries(plainDir.write("refs.bib", sample), settings);
    ASSERT_EQ(expected.entries.size(), 3U);
    for (const char *encoding : {"UTF-8", "UTF-16LE", "UTF-16BE", "UTF-32LE", "UTF-32BE"}) {
        SCOPED_TRACE(encoding);
        TempDir dir;
        const ReadResult read = readEntries(dir.write("refs.bib", encodedAs(sample, encoding)), settings);
        EXPECT_EQ(read.entries, expected.entries);
        EXPECT_TRUE(read.lines.empty()) << read.lines.front();
    }
}

} // namespace
} // namespace bibsources::testing
