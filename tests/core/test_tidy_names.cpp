#include "tidy_names.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

Person person(std::vector<std::string> first, std::vector<std::string> von, std::vector<std::string> last,
    std::vector<std::string> jr = {})
{
    return Person{std::move(last), std::move(first), std::move(von), std::move(jr)};
}

Field contributors(const char *role, std::vector<Person> people)
{
    return Field{role, "", std::move(people)};
}

std::string wrapped(const std::string &roles)
{
    return "<b:Author>\n" + roles + "</b:Author>\n";
}

std::string nameList(const char *role, const std::string &people)
{
    return std::string("<b:") + role + ">\n<b:NameList>\n" + people + "</b:NameList>\n</b:" + role + ">\n";
}

struct NameRow {
    const char *why;
    std::vector<Field> fields;
    std::string expected;
};

TEST(TidyContributors, FollowTheNameRules)
{
    const NameRow rows[] = {
        {"von part in front of the last name",
            {contributors("author", {person({"Jan"}, {"van", "der"}, {"Berg"})})},
            wrapped(nameList("Author",
                "<b:Person>\n<b:Last>van der Berg</b:Last>\n<b:First>Jan</b:First>\n</b:Person>\n"))},
        {"Jr. after the last name, other given names in Middle",
            {contributors("author", {person({"John", "Ronald", "R."}, {}, {"Smith"}, {"Jr."})})},
            wrapped(nameList("Author",
                "<b:Person>\n<b:Last>Smith Jr.</b:Last>\n<b:First>John</b:First>\n<b:Middle>Ronald "
                "R.</b:Middle>\n</b:Person>\n"))},
        {"one braced group is a corporate author",
            {contributors("author", {person({}, {}, {"{World Health Organization}"})})},
            wrapped("<b:Author>\n<b:Corporate>World Health Organization</b:Corporate>\n</b:Author>\n")},
        {"a corporate editor is a person with a last name only",
            {contributors("editor", {person({}, {}, {"{ACM}"})})},
            wrapped(nameList("Editor", "<b:Person>\n<b:Last>ACM</b:Last>\n</b:Person>\n"))},
        {"a braced accent is a name, not a corporation",
            {contributors("author", {person({"E."}, {}, {"{\\\"O}zt{\\\"u}rk"})})},
            wrapped(nameList(
                "Author", "<b:Person>\n<b:Last>Öztürk</b:Last>\n<b:First>E.</b:First>\n</b:Person>\n"))},
        {"others writes no person",
            {contributors("author", {person({"A."}, {}, {"Doe"}), person({}, {}, {"others"})})},
            wrapped(nameList(
                "Author", "<b:Person>\n<b:Last>Doe</b:Last>\n<b:First>A.</b:First>\n</b:Person>\n"))},
        {"only others writes nothing", {contributors("author", {person({}, {}, {"others"})})}, ""},
        {"roles in field order, one wrapper, one list per role",
            {contributors("editor", {person({}, {}, {"E1"})}),
                contributors("author", {person({}, {}, {"A"})}),
                contributors("editor", {person({}, {}, {"E2"})}), Field{"title", "T", std::nullopt},
                contributors("translator", {person({}, {}, {"T"})})},
            wrapped(nameList("Editor",
                        "<b:Person>\n<b:Last>E1</b:Last>\n</b:Person>\n<b:Person>\n<b:Last>E2</b:Last>\n</"
                        "b:Person>\n")
                + nameList("Author", "<b:Person>\n<b:Last>A</b:Last>\n</b:Person>\n")
                + nameList("Translator", "<b:Person>\n<b:Last>T</b:Last>\n</b:Person>\n"))},
        {"TeX and markup in names become escaped plain text",
            {contributors("author", {person({"J{\\'e}r{\\^o}me"}, {}, {"AT\\&T"})})},
            wrapped(nameList("Author",
                "<b:Person>\n<b:Last>AT&amp;T</b:Last>\n<b:First>Jérôme</b:First>\n</b:Person>\n"))},
        {"a Latin-1 part beside a UTF-8 part",
            {contributors("author", {person({}, {"d\xe9"}, {"M\xc3\xbcller"})})},
            wrapped(nameList("Author", "<b:Person>\n<b:Last>dé Müller</b:Last>\n</b:Person>\n"))},
        {"an unsplittable field and an empty name write nothing",
            {Field{"author", "x", std::nullopt}, contributors("author", {Person{}})}, ""},
    };
    for (const NameRow &row : rows) {
        EXPECT_EQ(tidyContributors(row.fields), row.expected) << row.why;
    }
}

TEST(FirstContributorName, IsTheVonAndLastPartOfTheFirstPerson)
{
    EXPECT_EQ(firstContributorName({Field{"title", "x", std::nullopt},
                  contributors("editor", {person({"Jan"}, {"van"}, {"Berg"}, {"Jr."})})}),
        "van Berg");
    EXPECT_EQ(firstContributorName({}), "");
}

} // namespace
} // namespace bibsources
