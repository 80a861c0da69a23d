#include "tex_commands.h"

#include <gtest/gtest.h>

#include <string>

using namespace bibsources;

namespace {

// Number of code points in valid UTF-8.
size_t codePoints(std::string_view utf8)
{
    size_t count = 0;
    for (const char c : utf8) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }
    return count;
}

TEST(TexCommands, EveryAccentIsOneCombiningDiacriticWithASpacingForm)
{
    const std::string names = "'`^\"~=.uvHckrdbt";
    for (const char name : names) {
        const std::string_view command(&name, 1);
        const auto mark = accentMark(command);
        ASSERT_TRUE(mark) << command;
        EXPECT_GE(*mark, U'\u0300') << command;
        EXPECT_LE(*mark, U'\u036F') << command;
        EXPECT_EQ(codePoints(spacingAccent(command)), 1u) << command;
        // A spacing form is no combining diacritic (U+0300..U+036F starts with 0xCC or 0xCD).
        const auto lead = static_cast<unsigned char>(spacingAccent(command).front());
        EXPECT_TRUE(lead != 0xCC && lead != 0xCD) << command;
    }
    EXPECT_FALSE(accentMark("a"));
    EXPECT_FALSE(accentMark("vv")); // names are exact: \vv is no accent
}

TEST(TexCommands, SpecialLettersAreOneCharacterAndTakeAccents)
{
    const char *letters[] = {"i", "j", "o", "O", "l", "L", "ss", "ae", "AE", "oe", "OE", "aa", "AA", "dh",
        "DH", "th", "TH", "ng", "NG"};
    for (const char *letter : letters) {
        EXPECT_EQ(codePoints(textCommand(letter)), 1u) << letter;
        EXPECT_EQ(codePoints(accentBase(letter)), 1u) << letter;
    }
    EXPECT_EQ(textCommand("SS"), "SS"); // TeX's capital sharp s is two letters
    EXPECT_EQ(accentBase("i"), "i"); // the accent takes the place of the dot
    EXPECT_EQ(accentBase("TeX"), "");
}

TEST(TexCommands, MathCommandsHaveTextAndNamesAreCaseSensitive)
{
    EXPECT_EQ(mathCommand("phi"), "ϕ"); // TeX's \phi is the closed form
    EXPECT_EQ(mathCommand("varphi"), "φ");
    EXPECT_EQ(mathCommand("Alpha"), ""); // no such command: it is a Latin A
    EXPECT_EQ(mathCommand("frac"), "");
    EXPECT_EQ(textCommand("tex"), "");
    EXPECT_TRUE(isFontCommand("emph"));
    EXPECT_FALSE(isFontCommand("Emph"));
}

TEST(TexCommands, ScriptsCoverDigitsAndSigns)
{
    for (char c = '0'; c <= '9'; ++c) {
        EXPECT_EQ(codePoints(superscript(c)), 1u) << c;
        EXPECT_EQ(codePoints(subscript(c)), 1u) << c;
    }
    EXPECT_EQ(superscript('n'), "ⁿ");
    EXPECT_EQ(subscript('n'), ""); // Unicode lowers only some letters: no letter is lowered
    EXPECT_EQ(superscript('x'), "");
}

} // namespace
