#include "names.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

TEST(NamePart, WritesOnlyWhatTheTokensHold)
{
    struct Row {
        const char *why;
        Person person;
        NamePart part;
        const char *text;
    };
    const Row rows[] = {
        {"no last tokens", {{}, {"Jane"}}, NamePart::Last, ""},
        {"one last token", {{"Doe"}, {}}, NamePart::Last, "<b:Last>Doe</b:Last>\n"},
        {"last tokens joined by one space", {{"de la", "Cruz"}, {}}, NamePart::Last,
            "<b:Last>de la Cruz</b:Last>\n"},
        {"no first tokens", {{"Doe"}, {}}, NamePart::First, ""},
        {"one first token, no Middle", {{}, {"Jane"}}, NamePart::First, "<b:First>Jane</b:First>\n"},
        {"two: the second is Middle", {{}, {"Jane", "Q."}}, NamePart::First,
            "<b:First>Jane</b:First>\n<b:Middle>Q.</b:Middle>\n"},
        {"three: only the last is Middle", {{}, {"A.", "B.", "C."}}, NamePart::First,
            "<b:First>A. B.</b:First>\n<b:Middle>C.</b:Middle>\n"},
        {"empty token still an element", {{""}, {}}, NamePart::Last, "<b:Last></b:Last>\n"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(parseNamePart(row.person, row.part), row.text) << row.why;
    }
}

TEST(NamePart, HasNoLengthLimit)
{
    const std::string longToken(100000, 'x');
    const std::string text = parseNamePart(Person{{longToken}, {}}, NamePart::Last);
    EXPECT_EQ(text, "<b:Last>" + longToken + "</b:Last>\n");
}

TEST(ContributorBlock, WrapsTheRoleAndTheNameList)
{
    struct Row {
        const char *why;
        const char *fieldName;
        std::optional<std::vector<Person>> names;
        const char *block;
    };
    const Row rows[] = {
        {"the splitter gave no list", "author", std::nullopt,
            "<b:Author>\n<b:Author>\n</b:Author>\n</b:Author>\n"},
        {"a list without names", "editor", std::vector<Person>{},
            "<b:Author>\n<b:Editor>\n<b:NameList>\n</b:NameList>\n</b:Editor>\n</b:Author>\n"},
        {"an empty name gives an empty person", "translator", std::vector<Person>{Person{}},
            "<b:Author>\n<b:Translator>\n<b:NameList>\n<b:Person>\n</b:Person>\n</b:NameList>\n</"
            "b:Translator>\n</b:Author>\n"},
        {"last before first and middle", "author", std::vector<Person>{Person{{"Doe"}, {"Jane", "Q."}}},
            "<b:Author>\n<b:Author>\n<b:NameList>\n<b:Person>\n<b:Last>Doe</b:Last>\n<b:First>Jane</"
            "b:First>\n"
            "<b:Middle>Q.</b:Middle>\n</b:Person>\n</b:NameList>\n</b:Author>\n</b:Author>\n"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(contributorBlock(row.fieldName, Field{row.fieldName, "", row.names}), row.block) << row.why;
    }
}

} // namespace
} // namespace bibsources
