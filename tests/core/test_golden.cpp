// Whole documents: each tests/data/<case>.bib converts to exactly <case>.xml,
// and each tests/data/tidy/<case>.bib converts with --tidy to exactly
// tidy/<case>.xml, valid against our schema of the format
// (tests/schema/bibliography.xsd). A changed golden file is reviewed like code.

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

template <auto release> struct Free {
    template <typename T> void operator()(T *object) const { release(object); }
};

std::unique_ptr<xmlDoc, Free<xmlFreeDoc>> parseXml(const std::string &document)
{
    return std::unique_ptr<xmlDoc, Free<xmlFreeDoc>>(xmlReadMemory(document.data(),
        static_cast<int>(document.size()), "Sources.xml", nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR));
}

// Counts the errors the schema finds in `document`; -1 when the document is
// not well-formed or the schema cannot be read.
int schemaErrors(const std::string &document)
{
    const std::unique_ptr<xmlSchemaParserCtxt, Free<xmlSchemaFreeParserCtxt>> parser(
        xmlSchemaNewParserCtxt(BIBSOURCES_TEST_SCHEMA));
    const std::unique_ptr<xmlSchema, Free<xmlSchemaFree>> schema(
        parser ? xmlSchemaParse(parser.get()) : nullptr);
    const auto doc = parseXml(document);
    if (!schema || !doc) {
        return -1;
    }
    const std::unique_ptr<xmlSchemaValidCtxt, Free<xmlSchemaFreeValidCtxt>> validator(
        xmlSchemaNewValidCtxt(schema.get()));
    int errors = 0;
    xmlSchemaSetValidStructuredErrors(
        validator.get(), [](void *count, xmlErrorPtr) { ++*static_cast<int *>(count); }, &errors);
    xmlSchemaValidateDoc(validator.get(), doc.get());
    return errors;
}

TEST(Golden, ConvertsToTheExpectedDocument)
{
    const char *cases[] = {"lee07", "empty", "only_comments", "bad_between_good", "fields", "names",
        "accents", "encodings", "tidy/records", "tidy/names", "tidy/tex", "tidy/crossref"};
    for (const std::string name : cases) {
        SCOPED_TRACE(name);
        TemporaryDirectory directory;
        const auto input = directory / std::filesystem::path(name + ".bib").filename();
        std::filesystem::copy_file(std::filesystem::path(BIBSOURCES_TEST_DATA) / (name + ".bib"), input);
        ConversionSettings settings;
        settings.tidy = name.starts_with("tidy/");

        const ConversionResult result = convertFile(input.string(), {}, settings);

        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.outputPath, (directory / "Sources.xml").string());
        const std::string written = readFile(directory / "Sources.xml");
        EXPECT_EQ(written, readFile(std::filesystem::path(BIBSOURCES_TEST_DATA) / (name + ".xml")));
        if (settings.tidy) {
            EXPECT_EQ(schemaErrors(written), 0);
        } else {
            EXPECT_NE(parseXml(written), nullptr) << "not well-formed XML";
        }
        if (name == "bad_between_good") {
            EXPECT_EQ(result.inputs.front().recordsWritten, 2);
            EXPECT_EQ(result.inputs.front().entriesSkipped, 1);
        }
    }
}

// The schema is only worth validating against if it rejects what the format
// does not have.
TEST(TidySchema, RejectsWhatTheFormatLacks)
{
    const std::pair<const char *, bool> rows[] = {{"<b:Tag>a</b:Tag><b:DOI>10.1/x</b:DOI>", true},
        {"<b:Author><b:Author><b:Corporate>C</b:Corporate></b:Author></b:Author>", true},
        {"<b:Number>3</b:Number>", false}, // issues go into b:Issue
        {"<b:SourceType>misc</b:SourceType>", false}, // not one of the 17
        {"<b:Author><b:Editor><b:Corporate>C</b:Corporate></b:Editor></b:Author>", false},
        {"<b:Author><b:Author><b:NameList></b:NameList></b:Author></b:Author>", false}};
    for (const auto &[record, valid] : rows) {
        const int errors = schemaErrors("<?xml version=\"1.0\"?>\n<b:Sources xmlns:b=\"http://schemas."
                                        "openxmlformats.org/officeDocument/2006/bibliography\">\n<b:Source>"
            + std::string(record) + "</b:Source>\n</b:Sources>\n");
        EXPECT_TRUE(valid ? errors == 0 : errors > 0) << record << ": " << errors;
    }
}

} // namespace
} // namespace bibsources
