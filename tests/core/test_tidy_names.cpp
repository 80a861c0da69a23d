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

// The von part, Jr., corporate names, others and the order of roles are in
// the golden tidy/names document; these are the rules it does not show.
TEST(TidyContributors, FollowTheNameRules)
{
    const NameRow rows[] = {
        {"only others writes nothing", {contributors("author", {person({}, {}, {"others"})})}, ""},
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
