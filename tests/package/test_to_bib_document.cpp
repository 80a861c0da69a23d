// A document's own source list back to BibTeX.
#include "package_files.h"
#include "test_support.h"

#include <bibsources/conversion.h>

#include <gtest/gtest.h>

namespace bibsources {
namespace {

using namespace bibsources::testing;

// Keys stay unique across inputs; a document without a list, or with one it
// cannot read, is refused, and nothing is written for it.
TEST(ToBibDocument, ReadsTheDocumentsOwnListOrRefusesOneWithout)
{
    TemporaryDirectory folder;
    const std::string record = "<b:Source><b:Tag>Ber19</b:Tag><b:SourceType>Book</b:SourceType>"
                               "<b:Title>Alt &amp; neu</b:Title></b:Source>";
    writePackage(folder / "paper.docx", documentWithList(wordSourceList(record)));
    writeFile(folder / "Sources.xml", wordSourceList(record));
    const ConversionResult result = convertToBib(
        {(folder / "paper.docx").string(), (folder / "Sources.xml").string()}, {}, ConversionSettings{});
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.outputPath, (folder / "Sources.bib").string());
    EXPECT_EQ(readFile(folder / "Sources.bib"),
        "@book{Ber19,\n  title = {Alt \\& neu},\n}\n\n@book{Ber19-2,\n  title = {Alt \\& neu},\n}\n\n");
    ASSERT_EQ(result.inputs.size(), 2u);
    EXPECT_EQ(result.inputs[1].messages.size(), 1u);

    writePackage(folder / "empty.docx", wordDocument());
    const ConversionResult refused = convertToBib(
        {(folder / "empty.docx").string()}, (folder / "out.bib").string(), ConversionSettings{});
    EXPECT_NE(refused.error.find("has no source list"), std::string::npos) << refused.error;
    EXPECT_FALSE(std::filesystem::exists(folder / "out.bib"));

    // A list that the word processor would not read as its own, said as a
    // list file with the same declaration is.
    writePackage(folder / "typed.docx", documentWithList(withDocumentType(wordSourceList(record))));
    const ConversionResult typed = convertToBib(
        {(folder / "typed.docx").string()}, (folder / "out.bib").string(), ConversionSettings{});
    EXPECT_EQ(typed.error,
        "'" + (folder / "typed.docx").string()
            + " (its source list)' is not a bibliography source list (it has a document type declaration)");
    EXPECT_FALSE(std::filesystem::exists(folder / "out.bib"));
}

} // namespace
} // namespace bibsources
