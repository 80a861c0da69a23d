#include "entry_boundary.h"
#include "entry_mending.h"

#include <gtest/gtest.h>

namespace bibsources::testing {
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
    const struct {
        const char *why;
        std::string text;
        std::uint64_t at; // where the entry's "@" is
        std::uint64_t end; // where the next worker starts
    } rows[] = {
        {"braced body, nested braces", "@misc{a, t={x{y}}}\n@b{", 0, 18},
        {"junk before the @", "  }}\n@misc{a}rest", 5, 13},
        {"parenthesised body, ')' inside a quoted value", "@misc(a, t=\"x)y\")more", 0, 17},
        {"a NUL byte changes nothing", std::string("@misc{a, t={x\0y}}z", 18), 0, 17},
        {"no body: up to the next line that starts with @", "@misc \"x\" @not{}\n  @book{b}", 0, 19},
        {"body never closes: up to the next line that starts with @", "@misc{a, t={x}\n@book{b}", 0, 15},
        {"body never closes and nothing follows", "@misc{a, t={x", 0, 13},
        {"no @ at all", "just text", 9, 9},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        for (std::size_t chunk : {std::size_t(1), std::size_t(3), row.text.size() + 1}) {
            EXPECT_EQ(endOf(row.text, chunk), row.end) << "chunks of " << chunk;
        }
        EntryEndFinder finder;
        finder.feed(row.text);
        EXPECT_EQ(finder.start().value_or(row.text.size()), row.at);
    }
}

// Only the slips BibTeX forgives, and a missing key, are mended; anything else stays broken.
TEST(EntryMending, ClosesABodyOrGivesAKeyAStandIn)
{
    const struct {
        const char *why;
        std::string text;
        const char *mended; // nullptr: not mended
        const char *key = nullptr; // the entry's own key, when the text gives it a stand-in
    } rows[] = {
        {"no closing brace", "@misc{a, t = {x},\n  y = 2001,\n\n", "@misc{a, t = {x},\n  y = 2001,}\n"},
        {"no closing parenthesis", "@misc(a, t = {x}\n", "@misc(a, t = {x})\n"},
        {"parentheses in the key", "@online{A(2022)B, t = {x}}\n", "@online{bibsourcesStandInKey, t = {x}}\n",
            "A(2022)B"},
        {"both", "@online{a=b, t = {x}\n", "@online{bibsourcesStandInKey, t = {x}}\n", "a=b"},
        {"no key", "@article{\n\t  author = {x},\n  t = {y}\n}\n",
            "@article{bibsourcesStandInKey,\n\t  author = {x},\n  t = {y}\n}\n", ""},
        {"no key and no closing brace", "@misc{t = {x}\n", "@misc{bibsourcesStandInKey,t = {x}}\n", ""},
        {"a value still open", "@misc{a, t = {x\n", nullptr},
        {"a quoted value still open", "@misc{a, t = \"x}\n", nullptr},
        {"closed and an ordinary key: nothing to mend", "@misc{a, t = {x}}\n", nullptr},
        {"an odd key in a parenthesised entry", "@misc(a(b), t = {x})\n", nullptr},
        {"no body", "@misc a\n", nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        const std::optional<MendedEntry> mended = mendEntry(row.text);
        ASSERT_EQ(mended.has_value(), row.mended != nullptr);
        if (mended) {
            EXPECT_EQ(mended->text, row.mended);
            EXPECT_EQ(mended->key.has_value(), row.key != nullptr);
            EXPECT_EQ(mended->key.value_or(""), row.key ? row.key : "");
        }
    }
    const std::pair<const char *, bool> holdsAField[] = {{"Fourth, year = 2004", true},
        {"Fourth\n  note=x", true}, {"a = b, c", false}, // "=" but no name after a comma
        {"x, 3 = y", false}, {"Fourth, Fifth", false}};
    for (const auto &[text, holds] : holdsAField) {
        EXPECT_EQ(valueHoldsAField(Entry{"misc", "a", {{"title", text}}, 1}), holds) << text;
    }
}

TEST(EntryLine, IsALineThatPlainlyStartsAnEntry)
{
    const std::size_t all = 1000;
    const struct {
        const char *why;
        std::string text;
        std::size_t limit;
        bool startsLine;
        std::optional<std::size_t> sign;
    } rows[] = {
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
    for (const auto &row : rows) {
        EXPECT_EQ(findEntryLine(row.text, row.limit, row.startsLine), row.sign) << row.why;
    }
}

} // namespace
} // namespace bibsources::testing
