#include "citation_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bibsources {
namespace {

using Tags = std::vector<std::string>;

struct InstructionRow {
    const char *instruction;
    Tags tags;
};

class CitationInstruction : public testing::TestWithParam<InstructionRow> { };

TEST_P(CitationInstruction, NamesItsTags)
{
    EXPECT_EQ(tagsOfInstruction(GetParam().instruction), GetParam().tags) << GetParam().instruction;
}

INSTANTIATE_TEST_SUITE_P(Table, CitationInstruction,
    testing::Values(InstructionRow{R"( CITATION knuth84 \l 1033 )", {"knuth84"}},
        InstructionRow{
            R"( CITATION knuth84 \l 1033 \m lamport94 \m group01 )", {"knuth84", "lamport94", "group01"}},
        // The arguments of other switches are never tags, quoted or not.
        InstructionRow{R"( CITATION knuth84 \p 4 \f "see " \l 1033 \m lamport94 )", {"knuth84", "lamport94"}},
        InstructionRow{R"( CITATION knuth84 \s "\m fake" \l 1033 )", {"knuth84"}},
        InstructionRow{R"( CITATION a \n \m b )", {"a", "b"}}, // \n takes no argument
        InstructionRow{R"( CITATION "my key" \m "a \"q\"" )", {"my key", "a \"q\""}},
        InstructionRow{R"(citation Kno84 \M Lam94)", {"Kno84", "Lam94"}}, // names and switches in any case
        InstructionRow{R"( CITATION \l 1033 )", {}}, InstructionRow{R"( BIBLIOGRAPHY )", {}},
        InstructionRow{R"( HYPERLINK "CITATION x" )", {}}));

// A document part holding body, as the word processor writes it.
std::string part(const std::string &body)
{
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body><w:p>)"
        + body + "</w:p></w:body></w:document>";
}

std::string field(const std::string &instructionRuns, const std::string &result = "<w:r><w:t>(x)</w:t></w:r>")
{
    return R"(<w:r><w:fldChar w:fldCharType="begin"/></w:r>)" + instructionRuns
        + R"(<w:r><w:fldChar w:fldCharType="separate"/></w:r>)" + result
        + R"(<w:r><w:fldChar w:fldCharType="end"/></w:r>)";
}

std::string instruction(const std::string &text)
{
    return R"(<w:r><w:instrText xml:space="preserve">)" + text + "</w:instrText></w:r>";
}

struct PartRow {
    const char *why;
    std::string text;
    Tags tags;
};

class CitationPart : public testing::TestWithParam<PartRow> { };

TEST_P(CitationPart, FindsItsCitedTags)
{
    const CitedTags cited = citedTags(GetParam().text);
    ASSERT_TRUE(cited.ok()) << cited.error;
    EXPECT_EQ(cited.tags, GetParam().tags) << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(Table, CitationPart,
    testing::Values(
        PartRow{"split instruction",
            part(field(instruction(" CITATION kn") + instruction("uth84 \\l 1033 "))), {"knuth84"}},
        PartRow{"each tag once, in the order first cited",
            part(field(instruction(R"( CITATION b \l 1033 \m a )")) + field(instruction(" CITATION a "))
                + field(instruction(" CITATION c "))),
            {"b", "a", "c"}},
        PartRow{"simple field", part(R"(<w:fldSimple w:instr=" CITATION lam94 \m knu84 "/>)"),
            {"lam94", "knu84"}},
        // A field inside another's instruction is a field of its own; the
        // outer one goes on after it.
        PartRow{"nested field",
            part(field(instruction(" CITATION outer ") + field(instruction(" CITATION inner "))
                + instruction("\\m more "))),
            {"inner", "outer", "more"}},
        PartRow{"cached result and loose instruction text are not fields",
            part(field(instruction(" QUOTE "), R"(<w:r><w:instrText> CITATION shown </w:instrText></w:r>)")
                + instruction(" CITATION loose ")),
            {}},
        PartRow{"any prefix",
            R"(<d xmlns:x="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><x:fldSimple x:instr="CITATION t"/></d>)",
            {"t"}},
        PartRow{
            "another namespace", R"(<d xmlns:w="urn:other"><w:fldSimple w:instr="CITATION t"/></d>)", {}}),
    [](const testing::TestParamInfo<PartRow> &info) { return "row" + std::to_string(info.index); });

TEST(CitationPart, RefusesDocumentTypesAndBrokenXml)
{
    EXPECT_EQ(citedTags(R"(<!DOCTYPE d [<!ENTITY e "CITATION x">]><d/>)").error,
        "it has a document type declaration");
    EXPECT_FALSE(citedTags(part(field(instruction(" CITATION a "))).substr(0, 200)).ok());
}

TEST(CitationPart, ListsCitedTagsTheListLacks)
{
    EXPECT_EQ(tagsMissingFrom({"b", "a", "Kno84", "c"}, {"a", "kno84", "c"}), (Tags{"b", "Kno84"}));
}

} // namespace
} // namespace bibsources
