#include "entry_boundary.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

std::uint64_t endOf(const std::string &text, std::size_t chunk)
{
    EntryEndFinder finder;
    for (std::size_t i = 0; i < text.size(); i += chunk) {
        if (auto end = finder.feed(std::string_view(text).substr(i, chunk))) {
            return *end;
        }
    }
    return finder.finish();
}

TEST(EntryEnd, IsFoundWhateverTheChunkSize)
{
    struct Row {
        const char *why;
        std::string text;
        std::uint64_t at; // where the entry's "@" is
        std::uint64_t end; // where the next worker starts
    };
    const Row rows[] = {
        {"braced body, nested braces", "@misc{a, t={x{y}}}\n@b{", 0, 18},
        {"junk before the @", "  }}\n@misc{a}rest", 5, 13},
        {"parenthesised body, ')' inside a quoted value", "@misc(a, t=\"x)y\")more", 0, 17},
        {"a NUL byte changes nothing", std::string("@misc{a, t={x\0y}}z", 18), 0, 17},
        {"no body: up to the next line that starts with @", "@misc \"x\" @not{}\n  @book{b}", 0, 19},
        {"body never closes: up to the next line that starts with @", "@misc{a, t={x}\n@book{b}", 0, 15},
        {"body never closes and nothing follows", "@misc{a, t={x", 0, 13},
        {"no @ at all", "just text", 9, 9},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        for (std::size_t chunk : {std::size_t(1), std::size_t(3), row.text.size() + 1}) {
            EXPECT_EQ(endOf(row.text, chunk), row.end) << "chunks of " << chunk;
        }
        EntryEndFinder finder;
        finder.feed(row.text);
        EXPECT_EQ(finder.start().value_or(row.text.size()), row.at);
    }
}

TEST(NextEntryStart, FindsTheAtTheParserReadAhead)
{
    EXPECT_EQ(nextEntryStart(40, "@b"), 38u); // the usual: the @ and one character after it
    EXPECT_EQ(nextEntryStart(40, "}@"), 39u); // an @ at the very end of the input
    EXPECT_EQ(nextEntryStart(40, "}\n"), 40u); // no @: start where the parser stopped
    EXPECT_EQ(nextEntryStart(0, ""), 0u);
}

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

} // namespace
} // namespace bibsources
