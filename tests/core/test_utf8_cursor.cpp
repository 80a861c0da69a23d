#include "../fuzz/fuzz_check.h"
#include "reference_text.h"
#include "tex_definitions.h"
#include "tex_text.h"
#include "tidy_text.h"
#include "utf8_cursor.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace bibsources {
namespace {

using testing::replaceAll;

TEST(NextCharacter, StepsOverAWholeCharacterOrOneStrayByte)
{
    struct Row {
        std::string_view text;
        size_t at;
        size_t next;
    };
    const Row rows[] = {
        {"ab", 0, 1}, {"a\u00E9", 1, 3}, // two bytes
        {"\u20ACx", 0, 3}, // three
        {"\U0001D538", 0, 4}, // four
        {"\xC3", 0, 1}, // cut off at the end: never past it
        {"\xE0\xA4", 0, 1}, {"\xE9t\xE9", 0, 1}, // Latin-1
        {"\xC0\xAF", 0, 1}, // overlong "/"
        {"\xED\xA0\x80", 0, 1}, // a surrogate
        {"\xF4\x90\x80\x80", 0, 1}, // above U+10FFFF
        {"\xA9", 0, 1}, // a continuation byte alone
    };
    for (const Row &row : rows) {
        EXPECT_EQ(nextCharacter(row.text, row.at), row.next) << row.text;
    }
}

TEST(CharacterCount, CountsCharactersNotBytes)
{
    EXPECT_EQ(characterCount(""), 0u);
    EXPECT_EQ(characterCount("a\u00E9\u20AC\U0001D538"), 4u);
    EXPECT_EQ(characterCount("e\u0301"), 2u); // a mark is a character of its own
    EXPECT_EQ(characterCount("\xE9t\xE9"), 3u); // a stray byte counts as one
}

// Characters of every length, a letter that takes accents and a symbol that
// does not, and a combining mark standing alone.
constexpr std::string_view multiByteCharacters[] = {
    "\u00E9", // é, two bytes
    "\u0436", // ж, two bytes, composes with a breve
    "\u0301", // a combining acute, two bytes
    "\u20AC", // €, three bytes, no letter
    "\u4E2D", // 中, three bytes, a letter
    "\U0001D538", // 𝔸, four bytes
};

// Every place a reader takes one character: "@" stands for it.
constexpr std::string_view texPlaces[] = {
    // accents and their arguments
    "\\'@",
    "\\' @",
    "\\'{@}",
    "{\\'@}",
    "\\v@",
    "\\c@",
    "\\t@@",
    "\\t{@@}",
    "\\\"{\\i}@",
    "\\'\\@",
    "\\'",
    "\\'{}@",
    "\\'{@}@",
    // after a backslash
    "\\@",
    "\\@x",
    "a\\@",
    "\\ @",
    "\\,@",
    "\\\\@",
    "@\\",
    // the code of a character after a backquote, and other numbers
    "\\accent`@ x",
    "\\accent`\\@ x",
    "\\accent`@",
    "\\accent\"7F@",
    "\\accent 19@",
    "\\accent'177@",
    // what primitives read
    "\\kern1@",
    "\\kern@",
    "\\hskip 1pt plus@",
    "\\penalty-@",
    "\\raise1pt@",
    "\\hbox to@{x}",
    "\\hbox to 3em{@}",
    "\\kern.5\\@",
    // links, scripts, quotation marks around a group
    "\\url|@|",
    "\\url@x@",
    "\\url{@\\_}",
    "\\href{@}{@}",
    "\\textsuperscript{@}",
    "\\textsubscript@",
    "\\textsuperscript{2@}",
    "\\enquote{@}",
    "\\mkbibparens@",
    // commands known and unknown, with and without arguments
    "\\foo@",
    "\\foo{@}",
    "\\foo{}@",
    "{\\Dash}@",
    "\\emph@",
    "\\emph{@}",
    "{\\em@}",
    "\\textcolor{@}{@}",
    "\\hspace{@}@",
    "\\rule{@}{@}@",
    "\\noopsort{@}@",
    "\\i@",
    "\\ss@",
    "\\o @",
    // quotes, dashes, ties
    "`@'",
    "``@''",
    "@'",
    "-@",
    "--@",
    "---@",
    "~@",
    "\\-@",
    "{@}",
    "{@",
    "@}",
    // math
    "$@$",
    "$\\@$",
    "$\\@@$",
    "$\\frac@@$",
    "$\\frac{@}{@}$",
    "$\\frac\\@\\@$",
    "$\\sqrt@$",
    "$\\sqrt{@}$",
    "$\\hat@$",
    "$\\hat{@}$",
    "$\\bar\\@$",
    "$\\overline{@@}$",
    "$\\overline@$",
    "$\\vec{@}$",
    "$^@$",
    "$_@$",
    "$x^{@}$",
    "$x_{2@}$",
    "$\\left@\\right@$",
    "$\\bigl@$",
    "$\\sin@$",
    "$@\\log@$",
    "$\\mathrm{@}$",
    "$a\\,@$",
    "$\\alpha@$",
    "\\ensuremath{@}",
    "\\ensuremath@",
    "$@",
    "@$",
    "$\\frac{\\frac@@}@$",
};

std::string withCharacter(std::string_view place, std::string_view character)
{
    return replaceAll(place, "@", character);
}

TEST(CutCharacters, TexReadingKeepsEveryCharacterWhole)
{
    for (const std::string_view place : texPlaces) {
        for (const std::string_view character : multiByteCharacters) {
            const std::string tex = withCharacter(place, character);
            EXPECT_TRUE(fuzzcheck::isValidUtf8(texToText(tex))) << "from: " << tex;
            EXPECT_TRUE(fuzzcheck::isValidUtf8(plainText(tex))) << "from: " << tex;
        }
    }
}

// Definitions and a field using them; "@" stands for the character.
struct Expanded {
    std::string_view definitions;
    std::string_view field;
};

constexpr Expanded definitionPlaces[] = {
    {"\\def\\a#1{[#1]}", "\\a@"}, // an argument of one character
    {"\\def\\a#1{[#1]}", "\\a @"},
    {"\\def\\a#1{[#1]}", "\\a\\@"}, // an argument that is a control symbol
    {"\\def\\a#1{[#1]}", "\\a{@}"},
    {"\\def\\a#1{[#1]}", "\\a\\@x"},
    {"\\def\\a#1#2{#2#1}", "\\a@@"},
    {"\\def\\a#1#2{#2#1}", "\\a\\@\\@"},
    {"\\def\\a#1@{[#1]}", "\\a x@y"}, // a delimiter beyond ASCII
    {"\\def\\a#1@.{[#1]}", "\\a @@."},
    {"\\newcommand{\\a}[2][@]{#1#2}", "\\a@"}, // an optional argument's default
    {"\\newcommand{\\a}[2][@]{#1#2}", "\\a[@]@"},
    {"\\def\\a{@}", "\\a@"},
    {"\\def\\a{\\'}", "\\a@"}, // a body that reads the character after it
    {"\\def\\a#1{\\'#1}", "\\a@"},
    {"\\def\\a#1{$\\hat#1$}", "\\a\\@"},
    {"\\def\\a#1{\\accent`#1}", "\\a@ x"},
    {"\\def\\@{x}", "\\@"}, // a control symbol beyond ASCII, defined
    {"\\def\\@", "\\@"}, // and never finished
    {"\\def\\@#1 x{", "\\@"},
    {"\\newcommand{\\@}[@]{x}", "\\@"},
    {"\\newcommand\\@{", "\\@"},
    {"\\let\\a\\@ \\def\\b#1{#1}", "\\b\\@"},
    {"\\input @", "@"},
    {"\\input{@}", "@"},
    {"\\ifx\\undefined\\@ \\def\\a#1{#1}\\fi", "\\a\\@"},
    {"\\@ifundefined{@}{\\def\\a#1{#1}}{}", "\\a@"},
};

TEST(CutCharacters, ExpansionKeepsEveryCharacterWhole)
{
    for (const Expanded &place : definitionPlaces) {
        for (const std::string_view character : multiByteCharacters) {
            const std::string definitionText = withCharacter(place.definitions, character);
            const std::string field = withCharacter(place.field, character);
            TexDefinitions definitions;
            for (const std::string &problem : definitions.read(definitionText)) {
                EXPECT_TRUE(fuzzcheck::isValidUtf8(problem)) << "from: " << definitionText;
            }
            const Expansion expansion = expandDefinitions(field, definitions);
            EXPECT_TRUE(fuzzcheck::isValidUtf8(expansion.text))
                << "from: " << definitionText << " and " << field;
            EXPECT_TRUE(fuzzcheck::isValidUtf8(expansion.problem))
                << "from: " << definitionText << " and " << field;
            EXPECT_TRUE(fuzzcheck::isValidUtf8(texToText(expansion.text)))
                << "from: " << definitionText << " and " << field;
        }
    }
}

} // namespace
} // namespace bibsources
