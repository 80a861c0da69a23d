#include "accent_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <string_view>

using namespace bibsources;

namespace {

// Unicode's canonical decompositions of the letters U+00C0..U+017F (Latin-1
// Supplement and Latin Extended-A, without the signs U+00D7 and U+00F7):
// base letter and combining mark, or 0 where a letter has no canonical
// decomposition. Taken from the Unicode Character Database, not from the
// accent table, so the two are checked against each other.
struct Decomposition {
    char32_t letter;
    char base;
    char32_t mark;
};

constexpr Decomposition decompositions[] = {
    {0x00C0, 'A', 0x0300}, {0x00C1, 'A', 0x0301}, {0x00C2, 'A', 0x0302}, {0x00C3, 'A', 0x0303},
    {0x00C4, 'A', 0x0308}, {0x00C5, 'A', 0x030A}, {0x00C6, 0, 0}, {0x00C7, 'C', 0x0327},
    {0x00C8, 'E', 0x0300}, {0x00C9, 'E', 0x0301}, {0x00CA, 'E', 0x0302}, {0x00CB, 'E', 0x0308},
    {0x00CC, 'I', 0x0300}, {0x00CD, 'I', 0x0301}, {0x00CE, 'I', 0x0302}, {0x00CF, 'I', 0x0308},
    {0x00D0, 0, 0}, {0x00D1, 'N', 0x0303}, {0x00D2, 'O', 0x0300}, {0x00D3, 'O', 0x0301},
    {0x00D4, 'O', 0x0302}, {0x00D5, 'O', 0x0303}, {0x00D6, 'O', 0x0308}, {0x00D8, 0, 0},
    {0x00D9, 'U', 0x0300}, {0x00DA, 'U', 0x0301}, {0x00DB, 'U', 0x0302}, {0x00DC, 'U', 0x0308},
    {0x00DD, 'Y', 0x0301}, {0x00DE, 0, 0}, {0x00DF, 0, 0}, {0x00E0, 'a', 0x0300},
    {0x00E1, 'a', 0x0301}, {0x00E2, 'a', 0x0302}, {0x00E3, 'a', 0x0303}, {0x00E4, 'a', 0x0308},
    {0x00E5, 'a', 0x030A}, {0x00E6, 0, 0}, {0x00E7, 'c', 0x0327}, {0x00E8, 'e', 0x0300},
    {0x00E9, 'e', 0x0301}, {0x00EA, 'e', 0x0302}, {0x00EB, 'e', 0x0308}, {0x00EC, 'i', 0x0300},
    {0x00ED, 'i', 0x0301}, {0x00EE, 'i', 0x0302}, {0x00EF, 'i', 0x0308}, {0x00F0, 0, 0},
    {0x00F1, 'n', 0x0303}, {0x00F2, 'o', 0x0300}, {0x00F3, 'o', 0x0301}, {0x00F4, 'o', 0x0302},
    {0x00F5, 'o', 0x0303}, {0x00F6, 'o', 0x0308}, {0x00F8, 0, 0}, {0x00F9, 'u', 0x0300},
    {0x00FA, 'u', 0x0301}, {0x00FB, 'u', 0x0302}, {0x00FC, 'u', 0x0308}, {0x00FD, 'y', 0x0301},
    {0x00FE, 0, 0}, {0x00FF, 'y', 0x0308}, {0x0100, 'A', 0x0304}, {0x0101, 'a', 0x0304},
    {0x0102, 'A', 0x0306}, {0x0103, 'a', 0x0306}, {0x0104, 'A', 0x0328}, {0x0105, 'a', 0x0328},
    {0x0106, 'C', 0x0301}, {0x0107, 'c', 0x0301}, {0x0108, 'C', 0x0302}, {0x0109, 'c', 0x0302},
    {0x010A, 'C', 0x0307}, {0x010B, 'c', 0x0307}, {0x010C, 'C', 0x030C}, {0x010D, 'c', 0x030C},
    {0x010E, 'D', 0x030C}, {0x010F, 'd', 0x030C}, {0x0110, 0, 0}, {0x0111, 0, 0},
    {0x0112, 'E', 0x0304}, {0x0113, 'e', 0x0304}, {0x0114, 'E', 0x0306}, {0x0115, 'e', 0x0306},
    {0x0116, 'E', 0x0307}, {0x0117, 'e', 0x0307}, {0x0118, 'E', 0x0328}, {0x0119, 'e', 0x0328},
    {0x011A, 'E', 0x030C}, {0x011B, 'e', 0x030C}, {0x011C, 'G', 0x0302}, {0x011D, 'g', 0x0302},
    {0x011E, 'G', 0x0306}, {0x011F, 'g', 0x0306}, {0x0120, 'G', 0x0307}, {0x0121, 'g', 0x0307},
    {0x0122, 'G', 0x0327}, {0x0123, 'g', 0x0327}, {0x0124, 'H', 0x0302}, {0x0125, 'h', 0x0302},
    {0x0126, 0, 0}, {0x0127, 0, 0}, {0x0128, 'I', 0x0303}, {0x0129, 'i', 0x0303},
    {0x012A, 'I', 0x0304}, {0x012B, 'i', 0x0304}, {0x012C, 'I', 0x0306}, {0x012D, 'i', 0x0306},
    {0x012E, 'I', 0x0328}, {0x012F, 'i', 0x0328}, {0x0130, 'I', 0x0307}, {0x0131, 0, 0},
    {0x0132, 0, 0}, {0x0133, 0, 0}, {0x0134, 'J', 0x0302}, {0x0135, 'j', 0x0302},
    {0x0136, 'K', 0x0327}, {0x0137, 'k', 0x0327}, {0x0138, 0, 0}, {0x0139, 'L', 0x0301},
    {0x013A, 'l', 0x0301}, {0x013B, 'L', 0x0327}, {0x013C, 'l', 0x0327}, {0x013D, 'L', 0x030C},
    {0x013E, 'l', 0x030C}, {0x013F, 0, 0}, {0x0140, 0, 0}, {0x0141, 0, 0},
    {0x0142, 0, 0}, {0x0143, 'N', 0x0301}, {0x0144, 'n', 0x0301}, {0x0145, 'N', 0x0327},
    {0x0146, 'n', 0x0327}, {0x0147, 'N', 0x030C}, {0x0148, 'n', 0x030C}, {0x0149, 0, 0},
    {0x014A, 0, 0}, {0x014B, 0, 0}, {0x014C, 'O', 0x0304}, {0x014D, 'o', 0x0304},
    {0x014E, 'O', 0x0306}, {0x014F, 'o', 0x0306}, {0x0150, 'O', 0x030B}, {0x0151, 'o', 0x030B},
    {0x0152, 0, 0}, {0x0153, 0, 0}, {0x0154, 'R', 0x0301}, {0x0155, 'r', 0x0301},
    {0x0156, 'R', 0x0327}, {0x0157, 'r', 0x0327}, {0x0158, 'R', 0x030C}, {0x0159, 'r', 0x030C},
    {0x015A, 'S', 0x0301}, {0x015B, 's', 0x0301}, {0x015C, 'S', 0x0302}, {0x015D, 's', 0x0302},
    {0x015E, 'S', 0x0327}, {0x015F, 's', 0x0327}, {0x0160, 'S', 0x030C}, {0x0161, 's', 0x030C},
    {0x0162, 'T', 0x0327}, {0x0163, 't', 0x0327}, {0x0164, 'T', 0x030C}, {0x0165, 't', 0x030C},
    {0x0166, 0, 0}, {0x0167, 0, 0}, {0x0168, 'U', 0x0303}, {0x0169, 'u', 0x0303},
    {0x016A, 'U', 0x0304}, {0x016B, 'u', 0x0304}, {0x016C, 'U', 0x0306}, {0x016D, 'u', 0x0306},
    {0x016E, 'U', 0x030A}, {0x016F, 'u', 0x030A}, {0x0170, 'U', 0x030B}, {0x0171, 'u', 0x030B},
    {0x0172, 'U', 0x0328}, {0x0173, 'u', 0x0328}, {0x0174, 'W', 0x0302}, {0x0175, 'w', 0x0302},
    {0x0176, 'Y', 0x0302}, {0x0177, 'y', 0x0302}, {0x0178, 'Y', 0x0308}, {0x0179, 'Z', 0x0301},
    {0x017A, 'z', 0x0301}, {0x017B, 'Z', 0x0307}, {0x017C, 'z', 0x0307}, {0x017D, 'Z', 0x030C},
    {0x017E, 'z', 0x030C}, {0x017F, 0, 0},
};

// The combining mark each accent of a key stands for.
const std::map<std::string, char32_t> accentMarks{
    {"`", 0x0300}, {"'", 0x0301}, {"^", 0x0302}, {"~", 0x0303}, {"\"", 0x0308},
    {"=", 0x0304}, {".", 0x0307}, {"u", 0x0306}, {"v", 0x030C}, {"H", 0x030B},
    {"c", 0x0327}, {"k", 0x0328}, {"r", 0x030A},
};

// Letter commands stand for letters of their own, not for a base and a mark.
const std::map<std::string_view, char32_t> letterCommands{
    {"{\\aa}", 0x00E5}, {"{\\AA}", 0x00C5}, {"{\\ae}", 0x00E6}, {"{\\AE}", 0x00C6},
    {"{\\oe}", 0x0153}, {"{\\OE}", 0x0152}, {"{\\o}", 0x00F8},  {"{\\O}", 0x00D8},
    {"{\\l}", 0x0142},  {"{\\ss}", 0x00DF},
};

// The letters of the range that no key produces.
const std::set<char32_t> unproduced{
    0x00D0, 0x00DE, 0x00F0, 0x00FE, 0x0110, 0x0111, 0x0126, 0x0127, 0x0131, 0x0132, 0x0133,
    0x0138, 0x013F, 0x0140, 0x0141, 0x0149, 0x014A, 0x014B, 0x0166, 0x0167, 0x017F,
};

struct ParsedKey {
    std::string accent; // empty for a letter command
    char base = 0;      // the letter the accent sits on, dotless i/j as i/j
    bool dotless = false;
};

// Splits "{\'a}", "{\v c}", "{\'\i}" or "{\u \i}"; a key of any other shape
// comes back without an accent and must be a letter command.
ParsedKey parseKey(std::string_view key)
{
    ParsedKey parsed;
    std::string_view inner = key.substr(2, key.size() - 3);
    std::string_view rest;
    if (std::string_view("`'^~\"=.").find(inner[0]) != std::string_view::npos) {
        rest = inner.substr(1);
    } else if (inner.size() >= 3 && std::string_view("uvHckr").find(inner[0]) != std::string_view::npos
               && inner[1] == ' ') {
        rest = inner.substr(2);
    } else {
        return parsed;
    }
    parsed.accent = std::string(1, inner[0]);
    if (rest == "\\i" || rest == "\\j") {
        parsed.base = rest[1];
        parsed.dotless = true;
    } else if (rest.size() == 1) {
        parsed.base = rest[0];
    }
    return parsed;
}

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

TEST(AccentTable, HasOneToOneRowsWithLettersInRange)
{
    const auto table = accentTable();
    ASSERT_EQ(table.size(), 169u);
    std::set<std::string_view> keys;
    std::set<char32_t> letters;
    for (const AccentRow &row : table) {
        EXPECT_TRUE(keys.insert(row.key).second) << "duplicate key " << row.key;
        EXPECT_TRUE(letters.insert(row.letter).second) << "duplicate letter of " << row.key;
        EXPECT_GE(row.letter, U'\u00C0') << row.key;
        EXPECT_LE(row.letter, U'\u017F') << row.key;
        EXPECT_NE(row.letter, U'\u00D7') << row.key; // the multiplication sign
        EXPECT_NE(row.letter, U'\u00F7') << row.key; // the division sign
    }
}

TEST(AccentTable, KeysAreBracedAsciiOfFourToSevenCharacters)
{
    std::map<size_t, int> lengths;
    for (const AccentRow &row : accentTable()) {
        const std::string_view key = row.key;
        ++lengths[key.size()];
        ASSERT_GE(key.size(), 4u) << key;
        EXPECT_TRUE(key.starts_with("{\\")) << key;
        EXPECT_TRUE(key.ends_with("}")) << key;
        // The clean-up's single scan relies on this: no key can hold another.
        EXPECT_EQ(std::count(key.begin(), key.end(), '{'), 1) << key;
        EXPECT_EQ(std::count(key.begin(), key.end(), '}'), 1) << key;
        EXPECT_EQ(key.find('&'), std::string_view::npos) << key;
        for (const char c : key) {
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << key; // negative when not ASCII
        }
    }
    EXPECT_EQ(lengths, (std::map<size_t, int>{{4, 3}, {5, 99}, {6, 65}, {7, 2}}));
}

// Every accented key must give the precomposed form of its base and mark, so a
// wrong letter, a wrong accent or a wrong base in any row fails here.
TEST(AccentTable, AccentKeysGiveTheCompositionOfBaseAndMark)
{
    std::map<char32_t, Decomposition> byLetter;
    for (const Decomposition &d : decompositions) {
        byLetter[d.letter] = d;
    }
    ASSERT_EQ(byLetter.size(), 190u);

    int accentKeys = 0;
    for (const AccentRow &row : accentTable()) {
        const ParsedKey parsed = parseKey(row.key);
        if (parsed.accent.empty()) {
            const auto command = letterCommands.find(row.key);
            ASSERT_NE(command, letterCommands.end()) << "unknown key shape " << row.key;
            EXPECT_EQ(row.letter, command->second) << row.key;
            continue;
        }
        ++accentKeys;
        ASSERT_TRUE(isAsciiLetter(parsed.base)) << "base of " << row.key;
        // Lowercase i and j appear only as the dotless commands.
        if (parsed.base == 'i' || parsed.base == 'j') {
            EXPECT_TRUE(parsed.dotless) << row.key;
        }
        const Decomposition &d = byLetter.at(row.letter);
        EXPECT_EQ(d.base, parsed.base) << row.key;
        EXPECT_EQ(d.mark, accentMarks.at(parsed.accent)) << row.key;
    }
    EXPECT_EQ(accentKeys, 169 - int(letterCommands.size()));
}

TEST(AccentTable, LeavesExactlyTheListedLettersUnproduced)
{
    std::set<char32_t> produced;
    for (const AccentRow &row : accentTable()) {
        produced.insert(row.letter);
    }
    for (const Decomposition &d : decompositions) {
        EXPECT_NE(produced.count(d.letter), unproduced.count(d.letter))
            << std::hex << "U+" << uint32_t(d.letter);
    }
}

// Lowercase rows grouped a to z with {\ss} last, then capital rows A to Z.
TEST(AccentTable, ListsLowercaseThenCapitalsGroupedByBase)
{
    const auto table = accentTable();
    auto groupOf = [](std::string_view key) {
        const ParsedKey parsed = parseKey(key);
        return parsed.accent.empty() ? key[2] : parsed.base;
    };
    const auto ss = std::find_if(table.begin(), table.end(),
                                 [](const AccentRow &row) { return row.key == "{\\ss}"; });
    ASSERT_NE(ss, table.end());
    const size_t lowercaseCount = size_t(ss - table.begin()) + 1;
    EXPECT_EQ(lowercaseCount, 85u);
    char previous = 'a';
    for (size_t i = 0; i < table.size(); ++i) {
        if (i + 1 == lowercaseCount) {
            continue; // {\ss}
        }
        if (i == lowercaseCount) {
            previous = 'A';
        }
        const char group = groupOf(table[i].key);
        const bool lowercase = i < lowercaseCount;
        EXPECT_EQ(lowercase, group >= 'a' && group <= 'z') << table[i].key;
        EXPECT_GE(group, previous) << table[i].key;
        previous = group;
    }
}
