#include "citation_fields.h"
#include "package_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bibsources {
namespace {

using namespace bibsources::testing;
using Tags = std::vector<std::string>;

TEST(CitationInstruction, NamesItsTags)
{
    const std::pair<const char *, Tags> rows[] = {
        {R"( CITATION knuth84 \l 1033 )", {"knuth84"}},
        {R"( CITATION knuth84 \l 1033 \m lamport94 \m group01 )", {"knuth84", "lamport94", "group01"}},
        // The arguments of other switches are never tags, quoted or not.
        {R"( CITATION knuth84 \p 4 \f "see " \l 1033 \m lamport94 )", {"knuth84", "lamport94"}},
        {R"( CITATION knuth84 \s "\m fake" \l 1033 )", {"knuth84"}},
        {R"( CITATION a \n \m b )", {"a", "b"}}, // \n takes no argument
        {R"( CITATION "my key" \m "a \"q\"" )", {"my key", "a \"q\""}},
        {R"(citation Kno84 \M Lam94)", {"Kno84", "Lam94"}}, // names and switches in any case
        {R"( CITATION \l 1033 )", {}},
        {R"( BIBLIOGRAPHY )", {}},
        {R"( HYPERLINK "CITATION x" )", {}},
    };
    for (const auto &[text, tags] : rows) {
        EXPECT_EQ(tagsOfInstruction(text), tags) << text;
    }
}

// A document part holding body, as the word processor writes it.
std::string part(const std::string &body)
{
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><w:body><w:p>)"
        + body + "</w:p></w:body></w:document>";
}

TEST(CitationPart, FindsItsCitedTags)
{
    const std::tuple<const char *, std::string, Tags> rows[] = {
        {"split instruction", part(field(instruction(" CITATION kn") + instruction("uth84 \\l 1033 "))),
            {"knuth84"}},
        {"each tag once, in the order first cited",
            part(field(instruction(R"( CITATION b \l 1033 \m a )")) + field(instruction(" CITATION a "))
                + field(instruction(" CITATION c "))),
            {"b", "a", "c"}},
        {"simple field", part(R"(<w:fldSimple w:instr=" CITATION lam94 \m knu84 "/>)"), {"lam94", "knu84"}},
        // A field inside another's instruction is a field of its own; the
        // outer one goes on after it.
        {"nested field",
            part(field(instruction(" CITATION outer ") + field(instruction(" CITATION inner "))
                + instruction("\\m more "))),
            {"inner", "outer", "more"}},
        {"cached result and loose instruction text are not fields",
            part(field(instruction(" QUOTE "), R"(<w:r><w:instrText> CITATION shown </w:instrText></w:r>)")
                + instruction(" CITATION loose ")),
            {}},
        {"any prefix",
            R"(<d xmlns:x="http://schemas.openxmlformats.org/wordprocessingml/2006/main"><x:fldSimple x:instr="CITATION t"/></d>)",
            {"t"}},
        {"another namespace", R"(<d xmlns:w="urn:other"><w:fldSimple w:instr="CITATION t"/></d>)", {}},
    };
    for (const auto &[why, text, tags] : rows) {
        const CitedTags cited = citedTags(text);
        ASSERT_TRUE(cited.ok()) << why << ": " << cited.error;
        EXPECT_EQ(cited.tags, tags) << why;
    }
}

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
