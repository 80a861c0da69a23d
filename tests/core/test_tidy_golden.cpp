// Whole tidy documents: each tests/data/tidy/<case>.bib converts with --tidy
// to exactly <case>.xml, and every such document is valid against our
// schema of the format (tests/schema/bibliography.xsd).

#include "bibsources/conversion.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <memory>

namespace bibsources {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;

const std::filesystem::path tidyData = std::filesystem::path(BIBSOURCES_TEST_DATA) / "tidy";

struct DocFree {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
struct SchemaFree {
    void operator()(xmlSchema *schema) const { xmlSchemaFree(schema); }
};
struct ParserContextFree {
    void operator()(xmlSchemaParserCtxt *context) const { xmlSchemaFreeParserCtxt(context); }
};
struct ValidContextFree {
    void operator()(xmlSchemaValidCtxt *context) const { xmlSchemaFreeValidCtxt(context); }
};

// Counts the errors the schema finds in `document`; -1 when the document is
// not well-formed or the schema cannot be read.
int schemaErrors(const std::string &document)
{
    const std::unique_ptr<xmlSchemaParserCtxt, ParserContextFree> parser(
        xmlSchemaNewParserCtxt(BIBSOURCES_TEST_SCHEMA));
    const std::unique_ptr<xmlSchema, SchemaFree> schema(parser ? xmlSchemaParse(parser.get()) : nullptr);
    const std::unique_ptr<xmlDoc, DocFree> doc(xmlReadMemory(document.data(),
        static_cast<int>(document.size()), "Sources.xml", nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR));
    if (!schema || !doc) {
        return -1;
    }
    const std::unique_ptr<xmlSchemaValidCtxt, ValidContextFree> validator(
        xmlSchemaNewValidCtxt(schema.get()));
    int errors = 0;
    xmlSchemaSetValidStructuredErrors(
        validator.get(), [](void *count, xmlErrorPtr) { ++*static_cast<int *>(count); }, &errors);
    xmlSchemaValidateDoc(validator.get(), doc.get());
    return errors;
}

class TidyGolden : public ::testing::TestWithParam<const char *> { };

TEST_P(TidyGolden, ConvertsToTheExpectedValidDocument)
{
    const std::string name = GetParam();
    TemporaryDirectory directory;
    const auto input = directory / (name + ".bib");
    std::filesystem::copy_file(tidyData / (name + ".bib"), input);
    ConversionSettings settings;
    settings.tidy = true;

    const ConversionResult result = convertFile(input.string(), {}, settings);

    ASSERT_TRUE(result.ok()) << result.error;
    const std::string written = readFile(directory / "Sources.xml");
    EXPECT_EQ(written, readFile(tidyData / (name + ".xml")));
    EXPECT_EQ(schemaErrors(written), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, TidyGolden,
    ::testing::Values("records", // one entry per kind of source and every field rule
        "names", // von, Jr., corporate names, others, several roles
        "tex", // TeX read as it prints
        "crossref"), // inheritance both ways, a missing parent, a repeated key
    [](const auto &info) { return std::string(info.param); });

std::string document(const std::string &records)
{
    return "<?xml version=\"1.0\"?>\n<b:Sources "
           "xmlns:b=\"http://schemas.openxmlformats.org/officeDocument/2006/"
           "bibliography\">\n"
        + records + "</b:Sources>\n";
}

// The schema is only worth validating against if it rejects what the format
// does not have.
TEST(TidySchema, RejectsWhatTheFormatLacks)
{
    EXPECT_EQ(schemaErrors(document("<b:Source><b:Tag>a</b:Tag><b:DOI>10.1/x</b:DOI></b:Source>\n")), 0);
    EXPECT_EQ(schemaErrors(
                  document("<b:Source><b:Author><b:Author><b:Corporate>C</b:Corporate></b:Author></b:Author>"
                           "</b:Source>\n")),
        0);
    for (const char *record : {
             "<b:Source><b:Number>3</b:Number></b:Source>", // issues go into b:Issue
             "<b:Source><b:SourceType>misc</b:SourceType></b:Source>", // not one of the 17
             "<b:Source><b:Author><b:Editor><b:Corporate>C</b:Corporate></b:Editor></b:Author></b:Source>",
             "<b:Source><b:Author><b:Author><b:NameList></b:NameList></b:Author></b:Author></b:Source>",
         }) {
        EXPECT_GT(schemaErrors(document(std::string(record) + "\n")), 0) << record;
    }
}

} // namespace
} // namespace bibsources
