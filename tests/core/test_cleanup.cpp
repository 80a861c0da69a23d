#include "accent_table.h"
#include "reference_text.h"
#include "text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace bibsources;
using bibsources::testing::replaceAll;
using bibsources::testing::xmlContent;

namespace {

// The cases a random text is unlikely to hit; everything else is left to the
// comparison with the row-by-row definition below.
TEST(Cleanup, Converts)
{
    const std::pair<const char *, const char *> rows[] = {
        {"Fish & Chips", "Fish &amp; Chips"},
        {"&lt;", "&amp;lt;"}, // an existing reference is text of the entry
        {"\\&", "\\&amp;"}, // TeX's escaped ampersand keeps its backslash
        {"a<b>c", "a<b>c"}, // angle brackets are not the clean-up's business
        {"Caf{\\'e} \u00E9", "Caf\u00E9 \u00E9"},
        {"{\\Aa}", "{\\Aa}"}, // case counts
        {"{{\\'a}}", "{\u00E1}"}, // only the key's own braces go
        {"{\\{\\'a}a}", "{\\\u00E1a}"}, // removing a key forms no new one
        {"{\\'i}", "{\\'i}"}, // lowercase i needs the dotless form
        {"{\\L}", "{\\L}"}, // no capital row
        {"K{\\\"o}ln:2001", "K\u00F6ln:2001"}, // inside a citation key too
        {"{\\'{e}}", "{\\'{e}}"},
        {"{\\'e}{", "\u00E9{"},
    };
    for (const auto &[input, output] : rows) {
        EXPECT_EQ(cleanupOutput(input), output) << input;
    }
    EXPECT_EQ(escapeAndClean("<a href=\"x\">&{\\'e}</a>"), "&lt;a href=\"x\"&gt;&amp;\u00E9&lt;/a&gt;");
    EXPECT_EQ(escapeAndClean("&lt;"), "&amp;lt;");
}

// The definition: "&" first, then every accent row in order, each applied to
// the whole text with replaceAll.
std::string cleanupRowByRow(std::string text, bool escapeAngles)
{
    text = replaceAll(text, "&", "&amp;");
    if (escapeAngles) {
        text = replaceAll(replaceAll(text, "<", "&lt;"), ">", "&gt;");
    }
    for (const AccentRow &row : accentTable()) {
        const std::string letter{char(0xC0 | (row.letter >> 6)), char(0x80 | (row.letter & 0x3F))};
        text = replaceAll(text, row.key, letter);
    }
    return text;
}

// Texts built from the characters keys are made of, with whole keys mixed in,
// so that near-keys, nested braces, adjacent keys and cut-off keys all occur.
TEST(Cleanup, OneScanEqualsApplyingTheRowsInOrder)
{
    const std::vector<std::string> pieces{
        "{", "}", "\\", "'", "\"", "v", "c", "a", "&", "<", ">", " ", "i", "u", "o", "e", "\u00E9", "{\\"};
    std::mt19937 random(20240601);
    const auto table = accentTable();
    std::vector<std::string> texts{"{\\{\\'a}a}", "{\\v {\\v c}}", "{\\'\\i}}", "{{\\\"{\\ss}}}", "&{\\&}&",
        "{\\u \\i}{\\u \\i", "<{\\'a}>"};
    for (int n = 0; n < 4000; ++n) {
        std::string text;
        for (int i = int(random() % 40); i > 0; --i) {
            text += random() % 8 == 0 ? std::string(table[random() % table.size()].key)
                                      : pieces[random() % pieces.size()];
        }
        texts.push_back(text);
    }
    for (const std::string &text : texts) {
        ASSERT_EQ(cleanupOutput(text), cleanupRowByRow(text, false)) << "input: " << text;
        ASSERT_EQ(escapeAndClean(text), cleanupRowByRow(text, true)) << "input: " << text;
    }
}

} // namespace
