#include "../fuzz/fuzz_check.h"
#include "reference_text.h"
#include "test_support.h"
#include "tex_definitions.h"
#include "tex_text.h"
#include "tidy_text.h"
#include "utf8_cursor.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

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

// One row of tests/data/cut_characters.txt: a field value and the
// definitions it is expanded with (none in most rows).
struct Place {
    std::string field;
    std::string definitions;
};

std::vector<Place> cutCharacterPlaces()
{
    std::istringstream rows(testing::readFile(std::string(BIBSOURCES_TEST_DATA) + "/cut_characters.txt"));
    std::vector<Place> places;
    for (std::string row; std::getline(rows, row);) {
        if (row.empty() || row.starts_with('#')) {
            continue;
        }
        const size_t tab = row.find('\t');
        places.push_back({row.substr(0, tab), tab == std::string::npos ? "" : row.substr(tab + 1)});
    }
    return places;
}

// Every reader, fed each character at each place where it takes one:
// the definitions' reader, the expansion, the TeX reading, and all of a
// tidy field's way. No text any of them hands on, and no problem they
// name, is ever invalid UTF-8.
TEST(CutCharacters, NoReaderCutsACharacter)
{
    const std::vector<Place> places = cutCharacterPlaces();
    ASSERT_GT(places.size(), 100u) << "the table was not read";
    for (const Place &place : places) {
        for (const std::string_view character : multiByteCharacters) {
            const std::string field = replaceAll(place.field, "?", character);
            const std::string definitionText = replaceAll(place.definitions, "?", character);
            const std::string where = "from: " + field + " with: " + definitionText;
            TexDefinitions definitions;
            for (const std::string &problem : definitions.read(definitionText)) {
                EXPECT_TRUE(fuzzcheck::isValidUtf8(problem)) << where;
            }
            const Expansion expansion = expandDefinitions(field, definitions);
            EXPECT_TRUE(fuzzcheck::isValidUtf8(expansion.text)) << where;
            EXPECT_TRUE(fuzzcheck::isValidUtf8(expansion.problem)) << where;
            EXPECT_TRUE(fuzzcheck::isValidUtf8(texToText(expansion.text))) << where;
            EXPECT_TRUE(fuzzcheck::isValidUtf8(plainText(expansion.text))) << where;
        }
    }
}

} // namespace
} // namespace bibsources
