#include "entry_boundary.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

TEST(EntryLine, IsALineThatPlainlyStartsAnEntry)
{
    struct Row {
        const char *why;
        std::string text;
        std::size_t limit;
        bool startsLine;
        std::optional<std::size_t> sign;
    };
    const std::size_t all = 1000;
    const Row rows[] = {
        {"first line", "@misc{a}", all, true, 0},
        {"first line not a line start", "@misc{a}\n@book(b)", all, false, 9},
        {"blanks before and inside", "x\n \t@ misc \t{", all, true, 4},
        {"parenthesised", "x\n@book(b", all, true, 2},
        {"not first on its line", "x = {a @misc{b}}\n", all, true, std::nullopt},
        {"no type", "x\n@{a}\n", all, true, std::nullopt},
        {"no delimiter", "x\n@misc a\n", all, true, std::nullopt},
        {"type must start with a letter", "x\n@1misc{a}\n", all, true, std::nullopt},
        {"the second of two", "x\n@ nothing\n@misc{a}", all, true, 12},
        {"an @ past the limit", "x\n@misc{a}", 2, true, std::nullopt},
        {"an @ just before the limit", "x\n@misc{a}", 3, true, 2},
        {"cut short", "x\n@misc", all, true, std::nullopt},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(findEntryLine(row.text, row.limit, row.startsLine), row.sign) << row.why;
    }
}

TEST(EntryLine, BrokenDelimitersAreNamed)
{
    const std::pair<std::string, std::string> rows[] = {
        {"@misc{a, title = \"oops}\n", "unterminated quoted value"},
        {"@misc{a\"b, title = {x}}\n", "unterminated quoted value"},
        {"@comment{ x { y }\n", "unbalanced braces"},
        {"@misc(a, title = {x}\n", "unbalanced braces"},
        {"@misc{a, title = {\"}}\n", ""},
        {"@misc{a, title = {x} junk}\n", ""},
        {"@misc\n", ""},
    };
    for (const auto &[text, reason] : rows) {
        EXPECT_EQ(brokenDelimiters(text), reason) << text;
    }
}

} // namespace
} // namespace bibsources
