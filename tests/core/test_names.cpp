#include "names.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

TEST(NamePart, WritesOnlyWhatTheTokensHold)
{
    struct Row {
        Person person;
        NamePart part;
        std::string text;
    };
    const std::string longToken(100000, 'x'); // no length limit
    const Row rows[] = {
        {{{}, {"Jane"}}, NamePart::Last, ""},
        {{{"de la", "Cruz"}, {}}, NamePart::Last, "<b:Last>de la Cruz</b:Last>\n"}, // joined by one space
        {{{"Doe"}, {}}, NamePart::First, ""},
        {{{}, {"Jane"}}, NamePart::First, "<b:First>Jane</b:First>\n"}, // no Middle
        {{{}, {"A.", "B.", "C."}}, NamePart::First, "<b:First>A. B.</b:First>\n<b:Middle>C.</b:Middle>\n"},
        {{{""}, {}}, NamePart::Last, "<b:Last></b:Last>\n"}, // an empty token is still an element
        {{{longToken}, {}}, NamePart::Last, "<b:Last>" + longToken + "</b:Last>\n"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(parseNamePart(row.person, row.part), row.text) << row.text.substr(0, 40);
    }
}

TEST(ContributorBlock, WrapsTheRoleAndTheNameList)
{
    struct Row {
        const char *fieldName;
        std::optional<std::vector<Person>> names;
        const char *block;
    };
    const Row rows[] = {
        {"author", std::nullopt,
            "<b:Author>\n<b:Author>\n</b:Author>\n</b:Author>\n"}, // the splitter gave no list
        {"editor", std::vector<Person>{},
            "<b:Author>\n<b:Editor>\n<b:NameList>\n</b:NameList>\n</b:Editor>\n</b:Author>\n"},
        {"translator", std::vector<Person>{Person{}}, // an empty name gives an empty person
            "<b:Author>\n<b:Translator>\n<b:NameList>\n<b:Person>\n</b:Person>\n</b:NameList>\n"
            "</b:Translator>\n</b:Author>\n"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(contributorBlock(row.fieldName, Field{row.fieldName, "", row.names}), row.block)
            << row.fieldName;
    }
}

} // namespace
} // namespace bibsources
