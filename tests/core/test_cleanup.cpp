#include "accent_table.h"
#include "text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace bibsources;

namespace {

struct Example {
    const char *input;
    const char *output;
};

class Cleanup : public testing::TestWithParam<Example> {};

TEST_P(Cleanup, Converts)
{
    EXPECT_EQ(cleanupOutput(GetParam().input), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(Examples, Cleanup, testing::Values(
    Example{"", ""},
    Example{"<b:Title>Plain text, \"quoted\" -- and $x^2$</b:Title>\n",
            "<b:Title>Plain text, \"quoted\" -- and $x^2$</b:Title>\n"},
    Example{"Fish & Chips", "Fish &amp; Chips"},
    Example{"&", "&amp;"},
    Example{"&&", "&amp;&amp;"},
    // Existing references are text of the entry: escaped again.
    Example{"&amp;", "&amp;amp;"},
    Example{"&lt;", "&amp;lt;"},
    Example{"&gt;", "&amp;gt;"},
    Example{"&#233;", "&amp;#233;"},
    Example{"\\&", "\\&amp;"},            // TeX's escaped ampersand keeps its backslash
    Example{"a<b>c", "a<b>c"},            // angle brackets are not the clean-up's business
    Example{"Caf{\\'e}", "Caf\u00E9"},
    Example{"{\\\"o}{\\ss}", "\u00F6\u00DF"},
    Example{"{\\'a}&{\\'e}", "\u00E1&amp;\u00E9"},
    Example{"{\\AA}", "\u00C5"},
    Example{"{\\aa}", "\u00E5"},
    Example{"{\\Aa}", "{\\Aa}"},          // case counts
    Example{"{\\o}", "\u00F8"},
    Example{"{\\oe}", "\u0153"},
    Example{"{\\o e}", "{\\o e}"},        // not a key, and {\o} is not inside it
    Example{"{{\\'a}}", "{\u00E1}"},      // only the key's own braces go
    Example{"{B{\\\"u}cher}", "{B\u00FCcher}"},
    Example{"{\\{\\'a}a}", "{\\\u00E1a}"}, // removing a key forms no new one
    Example{"{\\'\\i}", "\u00ED"},
    Example{"{\\u \\i}", "\u012D"},       // the longest keys
    Example{"{\\'I}", "\u00CD"},
    Example{"{\\'i}", "{\\'i}"},          // lowercase i needs the dotless form
    Example{"{\\l}", "\u0142"},
    Example{"{\\L}", "{\\L}"},            // no capital row
    Example{"{\\c s}", "\u015F"},         // cedilla, not comma below (U+0219)
    Example{"{\\c T}", "\u0162"},
    Example{"{\\.I}", "\u0130"},
    Example{"K{\\\"o}ln:2001", "K\u00F6ln:2001"},
    // Forms left as written.
    Example{"\\'e", "\\'e"},
    Example{"\\'{e}", "\\'{e}"},
    Example{"{\\'{e}}", "{\\'{e}}"},
    Example{"{\\' e}", "{\\' e}"},
    Example{"{\\vc}", "{\\vc}"},
    Example{"{\\v  c}", "{\\v  c}"},
    Example{"{\\`y}", "{\\`y}"},
    Example{"{\\i}", "{\\i}"},
    Example{"{\\SS}", "{\\SS}"},
    Example{"{\\r a}", "{\\r a}"},
    // Keys cut off by the end of the text, or brace runs near it.
    Example{"{\\'e", "{\\'e"},
    Example{"{\\", "{\\"},
    Example{"{", "{"},
    Example{"{\\}", "{\\}"},
    Example{"x{\\'e}", "x\u00E9"},
    Example{"{\\'e}{", "\u00E9{"}));

// The definition: "&" first, then every accent row in order, each applied to
// the whole text with replaceAll.
std::string cleanupRowByRow(std::string text, bool escapeAngles)
{
    text = replaceAll(text, "&", "&amp;");
    if (escapeAngles) {
        text = replaceAll(text, "<", "&lt;");
        text = replaceAll(text, ">", "&gt;");
    }
    for (const AccentRow &row : accentTable()) {
        const std::string letter{char(0xC0 | (row.letter >> 6)), char(0x80 | (row.letter & 0x3F))};
        text = replaceAll(text, row.key, letter);
    }
    return text;
}

// Texts built from the characters keys are made of, with whole keys mixed in,
// so that near-keys, nested braces and adjacent keys all occur.
std::vector<std::string> scrambledTexts()
{
    const std::vector<std::string> pieces{"{", "}", "\\", "'", "\"", "v", "c", "a", "&", "<",
                                          ">", " ", "i", "u", "o", "e", "\u00E9", "{\\"};
    std::mt19937 random(20240601);
    const auto table = accentTable();
    std::vector<std::string> texts{"{\\{\\'a}a}", "{\\v {\\v c}}", "{\\'\\i}}", "{{\\\"{\\ss}}}",
                                   "&{\\&}&", "{\\u \\i}{\\u \\i", "<{\\'a}>"};
    for (int n = 0; n < 4000; ++n) {
        std::string text;
        const int length = int(random() % 40);
        for (int i = 0; i < length; ++i) {
            if (random() % 8 == 0) {
                text += table[random() % table.size()].key;
            } else {
                text += pieces[random() % pieces.size()];
            }
        }
        texts.push_back(text);
    }
    return texts;
}

TEST(Cleanup, OneScanEqualsApplyingTheRowsInOrder)
{
    for (const std::string &text : scrambledTexts()) {
        ASSERT_EQ(cleanupOutput(text), cleanupRowByRow(text, false)) << "input: " << text;
    }
}

TEST(EscapeAndClean, OneScanEqualsApplyingTheRowsInOrder)
{
    for (const std::string &text : scrambledTexts()) {
        ASSERT_EQ(escapeAndClean(text), cleanupRowByRow(text, true)) << "input: " << text;
    }
}

TEST(EscapeAndClean, EscapesAnglesAndAmpersandsAndConvertsKeys)
{
    EXPECT_EQ(escapeAndClean("<a href=\"x\">&{\\'e}</a>"),
              "&lt;a href=\"x\"&gt;&amp;\u00E9&lt;/a&gt;");
    EXPECT_EQ(escapeAndClean("&lt;"), "&amp;lt;");
}

} // namespace
