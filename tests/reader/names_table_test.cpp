// Hard lists of names, each split by hand as btparse splits it; both our
// splitter and btparse itself (as the helper calls it) must give exactly
// these people and warnings, so a row cannot drift from what btparse does.

#include "btparse_handles.h"
#include "name_split.h"
#include "names_reference.h"

#include <csignal>
#include <gtest/gtest.h>

namespace bibsources::names_test {
namespace {

// Words separated by '|'; "" is no words.
std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> found;
    while (!text.empty()) {
        const size_t bar = text.find('|');
        found.emplace_back(text.substr(0, bar));
        text = bar == std::string_view::npos ? std::string_view() : text.substr(bar + 1);
    }
    return found;
}

Person person(std::string_view first, std::string_view von, std::string_view last, std::string_view jr = "")
{
    return Person{words(last), words(first), words(von), words(jr)};
}

struct Row {
    const char *why;
    std::string text;
    std::optional<std::vector<Person>> people;
    std::string warnings = {};
};

const std::vector<Row> &rows()
{
    static const std::vector<Row> table = {
        {"\"and\" in any case between spaces, not inside braces", "Candy and Apples AnD {Green Eggs and Ham}",
            std::vector{
                person("", "", "Candy"), person("", "", "Apples"), person("", "", "{Green Eggs and Ham}")}},
        {"First von Last", "Ludwig van Beethoven", std::vector{person("Ludwig", "van", "Beethoven")}},
        {"von Last, First", "van der Graaf, Horace Q.", std::vector{person("Horace|Q.", "van|der", "Graaf")}},
        {"von Last, Jr, First", "Smith, Jr., John", std::vector{person("John", "", "Smith", "Jr.")}},
        {"a comma past the second is a space", "A, B, C, D", std::vector{person("C|D", "", "A", "B")},
            "warning: too many commas in name (removing extras)\n"},
        {"a leading \"and\" belongs to the name; two delimiters leave an empty one",
            "and Joe Q. Blow and and Smith, Jr., John",
            std::vector{person("", "and", "Joe|Q.|Blow"), Person{}, person("John", "", "Smith", "Jr.")},
            "name 2, warning: empty name\n"},
        {"a trailing \"and\" belongs to the name", "A and B and",
            std::vector{person("", "", "A"), person("B", "", "and")}},
        {"only spaces delimit \"and\", not tabs", "A and\tB", std::vector{person("A", "", "and\tB")}},
        {"a lowercase run up to the end leaves the final word Last", "jean de la fontaine",
            std::vector{person("", "jean|de|la", "fontaine")}},
        {"von is the first run of lowercase words only", "A b C d E", std::vector{person("A", "b", "C|d|E")}},
        {"a special character is not a lowercase letter", "A {\\\"o}b C",
            std::vector{person("A|{\\\"o}b", "", "C")}},
        {"nor is a braced \\relax", "A {\\relax b}c C", std::vector{person("A|{\\relax b}c", "", "C")}},
        {"a lowercase letter beyond ASCII starts von",
            "A \xc3\xa9"
            "b C",
            std::vector{person("A",
                "\xc3\xa9"
                "b",
                "C")}},
        {"an uppercase one does not",
            "A \xc3\x89"
            "b C",
            std::vector{person("A|\xc3\x89"
                               "b",
                "", "C")}},
        {"neither do digits or punctuation", "A 1b -c C", std::vector{person("A|1b|-c", "", "C")}},
        {"hyphens and tildes join words", "Jean-Paul Sartre and Jean~de~La Fontaine",
            std::vector{person("Jean-Paul", "", "Sartre"), person("Jean~de~La", "", "Fontaine")}},
        {"an unmatched { is warned of by the list and twice by the name", "A {B and C} and D {E",
            std::vector{person("A", "", "{B and C}"), person("D", "", "{E")},
            "warning: unmatched '{' (ignoring)\nname 1, warning: unmatched '{' (ignoring)\n"
            "name 1, warning: unmatched '{' (ignoring)\n"},
        {"an unmatched } does not count, so a later { still protects \"and\"", "A}} {x and B",
            std::vector{person("A}}", "", "{x and B")},
            "warning: unmatched '}' (ignoring)\nwarning: unmatched '}' (ignoring)\n"
            "warning: unmatched '{' (ignoring)\nwarning: unmatched '}' (ignoring)\n"
            "warning: unmatched '}' (ignoring)\nwarning: unmatched '{' (ignoring)\n"
            "warning: unmatched '}' (ignoring)\nwarning: unmatched '}' (ignoring)\n"
            "warning: unmatched '{' (ignoring)\n"},
        {"a comma at the end is dropped, the name numbered from the second", "A and B,",
            std::vector{person("", "", "A"), person("", "", "B")},
            "name 1, warning: comma(s) at end of name (removing)\n"},
        {"a lowercase run from the first word runs on past the commas", "a, b, c",
            std::vector{person("c", "a|b|c", "", "b")}},
        {"with a comma, von only from the first word", "B a, C", std::vector{person("C", "", "B|a")}},
        {"with a comma, von leaves the word before it to Last", "a b, C", std::vector{person("C", "a", "b")}},
        {"a name with nothing before its comma: the helper's own guard", ", David",
            std::vector{person("David", "", "")}},
        {"a blank name", "  ", std::vector{Person{}}},
        {"an empty text gives no list", "", std::nullopt},
        {"blanks around a name are dropped", "A  and  B",
            std::vector{person("", "", "A"), person("", "", "B")}},
        {"with more than two commas carriage returns go", "Sm\rith, A, B, C\r\rD",
            std::vector{person("B|CD", "", "Smith", "A")},
            "warning: too many commas in name (removing extras)\n"},
        {"braces keep a part whole, an empty pair too", "A {} {B C}",
            std::vector{person("A|{}", "", "{B C}")}},
    };
    return table;
}

class NamesTable : public ::testing::Test {
protected:
    const ParserSession session;
};

TEST_F(NamesTable, BtparseSplitsEachRowAsWritten)
{
    for (const Row &row : rows()) {
        const ReferenceSplit split = splitWithBtparse(row.text);
        EXPECT_EQ(split.people, row.people) << row.why << ": " << row.text;
        EXPECT_EQ(split.diagnostics, row.warnings) << row.why << ": " << row.text;
    }
}

TEST_F(NamesTable, OurSplitterSplitsEachRowAsWritten)
{
    for (const Row &row : rows()) {
        const SplitNames split = splitNames(row.text);
        EXPECT_EQ(split.people, row.people) << row.why << ": " << row.text;
        EXPECT_EQ(split.diagnostics, row.warnings) << row.why << ": " << row.text;
    }
}

// Where btparse aborts on a blank name, ours reads an empty one.
TEST_F(NamesTable, ABlankNameBesideAnAndIsEmptyWhereBtparseAborts)
{
    for (const char *text : {" and A", "A and ", "A and  and B"}) {
        EXPECT_EXIT(splitWithBtparse(text), ::testing::KilledBySignal(SIGABRT), "") << text;
        EXPECT_EQ(referenceGap(text), ReferenceGap::ListAborts) << text;
    }
    const SplitNames split = splitNames("A and  and B");
    EXPECT_EQ(split.people, (std::vector{person("", "", "A"), Person{}, person("", "", "B")}));
    EXPECT_EQ(split.diagnostics, "name 2, warning: empty name\n");
}

// Commas run together: btparse would split by comma places it never wrote;
// the helper splits such names with our splitter, which reads the missing
// place as the last one kept, leaving Jr empty, and warns as btparse does.
TEST_F(NamesTable, CommasRunTogetherLeaveAnEmptyPartBothWays)
{
    const std::vector<Row> runTogether = {
        {"two commas as one", "Smith,, John", std::vector{person("John", "", "Smith")}},
        {"with a blank between", "Doe, , Jane", std::vector{person("Jane", "", "Doe")}},
        {"at the end", "Smith John,,", std::vector{person("", "", "Smith|John")},
            "warning: comma(s) at end of name (removing)\n"},
        {"commas dropped at the end inside an open brace", "A, {x,,,", std::vector{person("{x", "", "A")},
            "warning: unmatched '{' (ignoring)\nwarning: unmatched '{' (ignoring)\n"
            "warning: comma(s) at end of name (removing)\n"
            "warning: unmatched '{' (ignoring)\n"},
    };
    for (const Row &row : runTogether) {
        const ReferenceSplit helper = splitWithBtparse(row.text);
        const SplitNames ours = splitNames(row.text);
        EXPECT_EQ(ours.people, row.people) << row.why << ": " << row.text;
        EXPECT_EQ(ours.diagnostics, row.warnings) << row.why << ": " << row.text;
        EXPECT_EQ(helper.people, ours.people) << row.why << ": " << row.text;
        EXPECT_EQ(helper.diagnostics, ours.diagnostics) << row.why << ": " << row.text;
    }
}

} // namespace
} // namespace bibsources::names_test
