// What the command prints is safe for a terminal and says which file it is
// about.
#include "cli_process.h"
#include "printable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace bibsources::testing {
namespace {

struct PrintableRow {
    const char *name;
    std::string text;
    std::string shown;
};

const PrintableRow printableRows[]
    = {{"PlainText", "refs.bib, line 3: syntax error", "refs.bib, line 3: syntax error"},
        {"Escape", "\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"}, {"BellAndTab", "a\x07\tb", "a\\x07\\x09b"},
        {"Delete", "a\x7f", "a\\x7f"},
        {"Letters", "r\xc3\xa9sum\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x93\x9a",
            "r\xc3\xa9sum\xc3\xa9 \xe2\x80\x94 \xf0\x9f\x93\x9a"},
        {"C1Control", "a\xc2\23331m", "a\\xc2\\x9b31m"}, // U+009B, the one-byte CSI
        {"LatinOneByte", "caf\xe9", "caf\\xe9"}, {"CutSequence", "\xe2\x80", "\\xe2\\x80"},
        {"Surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"}, {"Overlong", "\xc0\xaf", "\\xc0\\xaf"}};

TEST(Printable, EscapesWhatATerminalWouldActOn)
{
    for (const PrintableRow &row : printableRows) {
        EXPECT_EQ(cli::printable(row.text), row.shown) << row.name;
    }
}

TEST(Diagnostics, AreNamedAndShowControlCharactersEscaped)
{
    TemporaryDirectory dir;
    // A title with a colour change and a key with an escape the lexer
    // rejects, in a file whose name would retitle the window, and in one
    // whose name would break every message about it in two.
    const std::vector<std::pair<std::string, std::string>> names = {
        {"evil\x1b]0;owned\x07.bib", "evil\\x1b]0;owned\\x07.bib"}, {"two\nlines.bib", "two\\x0alines.bib"}};
    for (const auto &[name, shown] : names) {
        writeFile(dir / name,
            "@article{x, title = {\x1b[31mred} ye\x1b"
            "ar = 2000}\n@book{k\x1b[31m, title={T}}\n"
            "@book{ok, title = {fine}}\n");
        // The second list run merges into what the first wrote.
        const std::string list = "list\x1b[31m.xml";
        const std::vector<std::vector<std::string>> argumentRows = {{name}, {"-o", "-", name},
            {"-q", "-o", "x", name}, {"-o", list, name}, {"--merge", "-o", list, name}};
        for (const auto &arguments : argumentRows) {
            SCOPED_TRACE(arguments.front() + " " + shown);
            const CliOutcome outcome = runCli({arguments, dir.path()});
            EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
            if (arguments.front() == "-q") {
                continue;
            }
            // Every line starts with the file it is about, or with the
            // program's name; none holds a raw control character.
            std::istringstream lines(outcome.err);
            int count = 0;
            for (std::string line; std::getline(lines, line); ++count) {
                EXPECT_TRUE(line.starts_with(shown) || line.starts_with("bibsources: ")
                    || line.starts_with("merged into " + (dir / "list\\x1b[31m.xml").string() + ": "))
                    << line;
                EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](unsigned char c) {
                    return c < 0x20 || c == 0x7f;
                })) << line;
            }
            EXPECT_GT(count, 2) << outcome.err;
            EXPECT_NE(
                outcome.err.find(shown + ": invalid token near line 2 (text was '\\x1b')"), std::string::npos)
                << outcome.err;
            EXPECT_NE(outcome.err.find(shown + ", line 1, syntax error"), std::string::npos) << outcome.err;
        }
    }
}

} // namespace
} // namespace bibsources::testing
