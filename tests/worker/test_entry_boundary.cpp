#include "entry_boundary.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

struct Row {
    const char *why;
    std::string text;
    std::uint64_t at;  // where the entry's "@" is
    std::uint64_t end; // where the next worker starts
};

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

class EntryEnd : public ::testing::TestWithParam<Row> {};

TEST_P(EntryEnd, IsFoundWhateverTheChunkSize)
{
    const Row &row = GetParam();
    for (std::size_t chunk : {std::size_t(1), std::size_t(3), row.text.size() + 1}) {
        EXPECT_EQ(endOf(row.text, chunk), row.end) << "chunks of " << chunk;
    }
    EntryEndFinder finder;
    finder.feed(row.text);
    EXPECT_EQ(finder.start().value_or(row.text.size()), row.at);
}

INSTANTIATE_TEST_SUITE_P(Table, EntryEnd, ::testing::Values(
    Row{"braced body, nested braces", "@misc{a, t={x{y}}}\n@b{", 0, 18},
    Row{"junk before the @", "  }}\n@misc{a}rest", 5, 13},
    Row{"parenthesised body, ')' inside a quoted value",
        "@misc(a, t=\"x)y\")more", 0, 17},
    Row{"a NUL byte changes nothing", std::string("@misc{a, t={x\0y}}z", 18), 0, 17},
    Row{"no body: up to the next line that starts with @",
        "@misc \"x\" @not{}\n  @book{b}", 0, 19},
    Row{"body never closes: up to the next line that starts with @",
        "@misc{a, t={x}\n@book{b}", 0, 15},
    Row{"body never closes and nothing follows: the end of the text",
        "@misc{a, t={x", 0, 13},
    Row{"no @ at all: the end of the text", "just text", 9, 9}));

struct StartRow {
    const char *why;
    std::uint64_t consumed;
    const char *tail;
    std::uint64_t start;
};

class NextEntryStart : public ::testing::TestWithParam<StartRow> {};

TEST_P(NextEntryStart, FindsTheAtTheParserReadAhead)
{
    EXPECT_EQ(nextEntryStart(GetParam().consumed, GetParam().tail), GetParam().start);
}

INSTANTIATE_TEST_SUITE_P(Table, NextEntryStart, ::testing::Values(
    StartRow{"the usual: the @ and one character after it", 40, "@b", 38},
    StartRow{"an @ at the very end of the input", 40, "}@", 39},
    StartRow{"no @: start where the parser stopped", 40, "}\n", 40},
    StartRow{"the start of the input", 0, "", 0}));

} // namespace
} // namespace bibsources
