#include "atomic_write.h"
#include "bibsources/conversion.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <memory>
#include <sys/stat.h>

namespace bibsources {
namespace {

using testing::readFile;
using testing::TemporaryDirectory;
using testing::writeFile;

TEST(OutputPath, IsTheInputsFolderFollowedBySourcesXml)
{
    const char *rows[][2] = {{"/data/papers/refs.bib", "/data/papers/Sources.xml"},
        {"/refs.bib", "//Sources.xml"}, // the root keeps its own slash
        {"refs.bib", "./Sources.xml"}, // never the root of the file system
        {"/a b/ü.bib", "/a b/Sources.xml"}};
    for (const auto &row : rows) {
        EXPECT_EQ(outputPathFor(row[0]), row[1]) << row[0];
    }
}

// btparse keeps state between files; a second or third run in one process
// must not see anything of the first.
TEST(Convert, GivesTheSameDocumentEveryTimeInOneProcess)
{
    TemporaryDirectory directory;
    writeFile(
        directory / "refs.bib", "@article{a, title = {T}, author = {A. Author}}\n@book{b1, title = {One}}\n");
    writeFile(directory / "Sources.xml", "old contents"); // replaced
    std::string first;
    for (int run = 0; run < 3; ++run) {
        const ConversionResult result = convertFile((directory / "refs.bib").string(), {}, {});
        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.inputs.front().recordsWritten, 2);
        const std::string written = readFile(directory / "Sources.xml");
        first = run == 0 ? written : first;
        EXPECT_EQ(written, first) << "run " << run;
        EXPECT_TRUE(written.starts_with("<?xml version=\"1.0\"?>\n<b:Sources "));
    }
}

// A failed run must not touch what the user already has, and must not leave
// temporary files behind.
TEST(Convert, FailureLeavesTheFolderAsItWas)
{
    // input, output ("" for the default), error start
    const char *rows[][3] = {{"nope.bib", "", "cannot open '"}, {"dir.bib", "", "cannot open '"},
        {"refs.bib", "dir.bib", "cannot write '"},
        {"refs.bib", "no-such-folder/Sources.xml", "cannot write '"}};
    for (const auto &[input, output, errorStart] : rows) {
        SCOPED_TRACE(std::string(input) + " -> " + output);
        TemporaryDirectory directory;
        writeFile(directory / "refs.bib", "@book{b1, title = {One}}\n");
        writeFile(directory / "Sources.xml", "precious");
        std::filesystem::create_directory(directory / "dir.bib");

        const ConversionResult result
            = convertFile((directory / input).string(), *output ? (directory / output).string() : "", {});

        EXPECT_FALSE(result.ok());
        EXPECT_TRUE(result.error.starts_with(errorStart)) << result.error;
        EXPECT_EQ(readFile(directory / "Sources.xml"), "precious");
        for (const auto &item : std::filesystem::directory_iterator(directory.path())) {
            EXPECT_EQ(item.path().filename().string().find(".Sources.xml."), std::string::npos)
                << item.path();
        }
    }
}

TEST(AtomicWrite, GivesANewFileOrdinaryPermissions)
{
    TemporaryDirectory directory;
    const mode_t previous = ::umask(027);
    AtomicFile file((directory / "Sources.xml").string());
    ::umask(previous);
    file.append("x");
    const std::string error = file.commit();

    ASSERT_EQ(error, "");
    struct stat info { };
    ASSERT_EQ(::stat((directory / "Sources.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u); // 0666 less the umask, not a temporary file's 0600
}

// Text is written as it comes, in pieces larger and smaller than the buffer;
// only commit() makes it visible, and an uncommitted file leaves nothing.
TEST(AtomicWrite, ShowsTheWholeTextOnlyAfterCommit)
{
    TemporaryDirectory directory;
    const auto target = directory / "Sources.xml";
    writeFile(target, "old");
    std::string expected;
    {
        AtomicFile abandoned(target.string());
        abandoned.append(std::string(3 << 20, 'a'));
    }
    EXPECT_EQ(readFile(target), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory.path()), {}), 1);

    AtomicFile file(target.string());
    for (int piece = 0; piece < 400; ++piece) {
        const std::string text(piece * 37, char('a' + piece % 26));
        file.append(text);
        expected += text;
    }
    file.append(std::string(2 << 20, 'z'));
    expected += std::string(2 << 20, 'z');
    EXPECT_EQ(readFile(target), "old");
    ASSERT_EQ(file.commit(), "");
    EXPECT_EQ(readFile(target), expected);
}

// Whole documents: each tests/data/<case>.bib converts to exactly <case>.xml,
// and each tests/data/tidy/<case>.bib converts with --tidy to exactly
// tidy/<case>.xml, valid against our schema of the format
// (tests/schema/bibliography.xsd). A changed golden file is reviewed like code.

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
