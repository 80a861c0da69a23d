// What the command prints is safe for a terminal.
#include "printable.h"

#include <gtest/gtest.h>

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
        {"Delete", "a\x7f", "a\\x7f"}, {"LineBreaks", "a\nb\rc", "a\\x0ab\\x0dc"},
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

} // namespace
} // namespace bibsources::testing
