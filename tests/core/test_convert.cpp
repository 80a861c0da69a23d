#include "atomic_write.h"
#include "bibsources/conversion.h"
#include "converted_records.h"
#include "merge.h"
#include "source_list.h"
#include "test_support.h"
#include "xml.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlschemas.h>

#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace bibsources {
namespace {

using testing::readFile;
using testing::repeated;
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

// Text is written as it comes, in pieces larger and smaller than the buffer;
// only commit() makes it visible, with a new file's ordinary permissions, and
// an uncommitted file leaves nothing.
TEST(AtomicWrite, ShowsTheWholeTextOnlyAfterCommit)
{
    TemporaryDirectory directory;
    const auto target = directory / "Sources.xml";
    AtomicFile(target.string()).append(std::string(3 << 20, 'a'));
    EXPECT_TRUE(std::filesystem::is_empty(directory.path()));

    const mode_t previous = ::umask(027);
    AtomicFile file(target.string());
    ::umask(previous);
    std::string expected;
    for (int piece = 0; piece < 400; ++piece) {
        const std::string text(piece * 37, char('a' + piece % 26));
        file.append(text);
        expected += text;
    }
    file.append(std::string(2 << 20, 'z'));
    expected += std::string(2 << 20, 'z');
    EXPECT_FALSE(std::filesystem::exists(target));
    ASSERT_EQ(file.commit(), "");
    EXPECT_EQ(readFile(target), expected);
    struct stat info { };
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u); // 0666 less the umask, not a temporary file's 0600
}

// Whole documents: each tests/data/<case>.bib converts to exactly <case>.xml,
// and each tests/data/tidy/<case>.bib converts with --tidy to exactly
// tidy/<case>.xml, valid against our schema of the format
// (tests/schema/bibliography.xsd). A changed golden file is reviewed like code.
// Every case runs twice in one process: btparse keeps state between files,
// and no run may see anything of the ones before.

template <auto release> struct Free {
    template <typename T> void operator()(T *object) const { release(object); }
};
using XmlDocumentPtr = std::unique_ptr<xmlDoc, Free<xmlFreeDoc>>;

XmlDocumentPtr parseXml(const std::string &document)
{
    return XmlDocumentPtr(xmlReadMemory(document.data(), static_cast<int>(document.size()), "Sources.xml",
        nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR));
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
    const char *cases[]
        = {"lee07", "empty", "only_comments", "bad_between_good", "fields", "names", "accents", "encodings",
            "tidy/records", "tidy/rules", "tidy/names", "tidy/tex", "tidy/crossref", "tidy/definitions"};
    for (size_t run = 0; run < 2 * std::size(cases); ++run) {
        const std::string name = cases[run % std::size(cases)];
        SCOPED_TRACE(name);
        TemporaryDirectory directory;
        writeFile(directory / "Sources.xml", "old contents"); // replaced
        const auto input = directory / std::filesystem::path(name + ".bib").filename();
        std::filesystem::copy_file(std::filesystem::path(BIBSOURCES_TEST_DATA) / (name + ".bib"), input);
        ConversionSettings settings;
        settings.tidy = name.starts_with("tidy/");
        if (name == "tidy/definitions") {
            settings.macroFiles = {std::string(BIBSOURCES_TEST_DATA) + "/tidy/definitions.tex"};
        }

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

// Reading an existing source list and merging converted records into it.

const std::string xmlns = "\"http://schemas.openxmlformats.org/officeDocument/2006/bibliography\"";
const std::string root = "<b:Sources SelectedStyle=\"\" xmlns:b=" + xmlns + ">";
const std::string convertedRoot = "<b:Sources SelectedStyle=\"\" xmlns:b=" + xmlns + " xmlns=" + xmlns + ">";
const std::string declareB = " xmlns:b=" + xmlns;

TEST(ReadSourceListFile, TellsAMissingFileFromOneItCannotUse)
{
    TemporaryDirectory directory;
    std::filesystem::create_directory(directory / "folder.xml");

    const SourceListFile missing = readSourceListFile((directory / "none.xml").string());
    const SourceListFile folder = readSourceListFile((directory / "folder.xml").string());

    EXPECT_FALSE(missing.exists);
    EXPECT_TRUE(missing.ok());
    EXPECT_TRUE(folder.exists);
    EXPECT_EQ(folder.error, "cannot read '" + (directory / "folder.xml").string() + "': it is a directory");
}

struct ExpectedRecord {
    std::string text;
    std::optional<std::string> tag;
};

struct ReadRow {
    const char *why;
    std::string document;
    std::vector<ExpectedRecord> records;
    std::string error = ""; // how the refusal starts; empty: the list is read
};

const std::string one = "<b:Source><b:Tag>one</b:Tag><b:SourceType>Book</b:SourceType></b:Source>";
const std::string two = "<b:Source><b:Tag>two</b:Tag></b:Source>";

// A list is read, each record as the bytes it has in the file; any other
// file is refused with a sentence.
TEST(ReadSourceList, KeepsEachRecordAsItsBytesOrRefusesTheFile)
{
    const std::string notAList = "'x.xml' is not a bibliography source list (";
    const std::string notXml = "'x.xml' is not well-formed XML (line ";
    const std::string deep = "<b:Source><b:Tag>deep</b:Tag>" + repeated("<b:N>", 300)
        + repeated("</b:N>", 300) + "<b:Title>" + std::string(10'500'000, 'x') + "</b:Title></b:Source>";
    const ReadRow rows[] = {
        {"the word processor's own format: every record on the root's line",
            "<?xml version=\"1.0\"?>\r\n" + root + one + two + "</b:Sources>", {{one, "one"}, {two, "two"}}},
        {"a line per element, as we write it",
            "<?xml version=\"1.0\"?>\n" + root + "\n" + one + "\n" + two + "\n</b:Sources>\n",
            {{one, "one"}, {two, "two"}}},
        {"entities and character references are decoded in the tag",
            root + "<b:Source><b:Tag>R&amp;D&#38;&#x21;&lt;</b:Tag></b:Source></b:Sources>",
            {{"<b:Source><b:Tag>R&amp;D&#38;&#x21;&lt;</b:Tag></b:Source>", "R&D&!<"}}},
        {"CDATA in the tag and elsewhere",
            root
                + "<b:Source><b:Title><![CDATA[</b:Source>]]></b:Title><b:Tag><![CDATA[a&b]]></b:Tag></"
                  "b:Source>"
                + "</b:Sources>",
            {{"<b:Source><b:Title><![CDATA[</b:Source>]]></b:Title><b:Tag><![CDATA[a&b]]></b:Tag></b:Source>",
                "a&b"}}},
        {"comments between and inside records are no records",
            root + "<!-- <b:Source><b:Tag>no</b:Tag></b:Source> -->"
                + "<b:Source><!--c--><b:Tag>t<!--x-->u</b:Tag></b:Source>" + "</b:Sources>",
            {{"<b:Source><!--c--><b:Tag>t<!--x-->u</b:Tag></b:Source>", "tu"}}},
        {"any prefix, and attributes with '>' and '/>' in quotes",
            "<bib:Sources xmlns:bib=" + xmlns
                + "><bib:Source note='a>b' x=\"/>\" ><bib:Tag>p</bib:Tag></bib:Source >" + "</bib:Sources>",
            {{"<bib:Source note='a>b' x=\"/>\" ><bib:Tag>p</bib:Tag></bib:Source >", "p"}}},
        {"the default namespace",
            "<Sources xmlns=" + xmlns + ">\n  <Source>\n    <Tag>d</Tag>\n  </Source>\n</Sources>",
            {{"<Source>\n    <Tag>d</Tag>\n  </Source>", "d"}}},
        {"unknown elements, an empty record, and Tag and Source in other places",
            root + "<x:Other xmlns:x='urn:x'><b:Source><b:Tag>deep</b:Tag></b:Source></x:Other>"
                + "<b:Source/><b:Source><x:Tag "
                  "xmlns:x='urn:x'>no</x:Tag><b:Guid>{1}</b:Guid><b:Tag>yes</b:Tag>"
                + "<b:Tag>second</b:Tag></b:Source></b:Sources>",
            {{"<b:Source/>", std::nullopt},
                {"<b:Source><x:Tag xmlns:x='urn:x'>no</x:Tag><b:Guid>{1}</b:Guid><b:Tag>yes</b:Tag>"
                 "<b:Tag>second</b:Tag></b:Source>",
                    "yes"}}},
        {"a byte-order mark and a UTF-8 declaration",
            "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>" + root
                + "<b:Source><b:Tag>Gödel</b:Tag></b:Source></b:Sources>",
            {{"<b:Source><b:Tag>Gödel</b:Tag></b:Source>", "Gödel"}}},
        {"Windows line ends, which the parser reads as one",
            root + "\r\n<b:Source>\r\n<b:Tag>c\r\nr</b:Tag>\r\n</b:Source>\r\n</b:Sources>\r\n",
            {{"<b:Source>\r\n<b:Tag>c\r\nr</b:Tag>\r\n</b:Source>", "c\nr"}}},
        {"nesting and a text beyond what the parser allows by default", root + deep + "</b:Sources>",
            {{deep, "deep"}}},
        {"no records", root + "\n</b:Sources>", {}},
        {"another kind of document", "<html><body>Sources</body></html>", {},
            notAList + "its root element is 'html')"},
        {"the right name in no namespace", "<Sources><Source/></Sources>", {},
            notAList + "its root element 'Sources' is not in the bibliography namespace)"},
        {"the right name in another namespace", "<b:Sources xmlns:b='urn:other'/>", {},
            notAList + "its root element 'b:Sources' is not in"},
        {"a record cut short", root + "<b:Source><b:Tag>a</b:Tag>\n</b:Sources>", {}, notXml + "2: "},
        {"an end tag that does not match, in the middle of a list: said as such, with its line",
            root + "\n" + one + "\n<b:Source><b:Tag>a</b:Tog></b:Source>\n" + two + "\n</b:Sources>\n", {},
            notXml + "3: the end tag </b:Tog> does not match the start tag <b:Tag> of line 3)"},
        {"a record closed twice", root + one + "</b:Source>" + two + "</b:Sources>", {},
            notXml + "1: the end tag </b:Source> does not match the start tag <b:Sources> of line 1)"},
        {"something after the root", root + "</b:Sources><b:Source/>", {}, notXml + "1: "},
        {"an undeclared prefix inside a record", root + "<b:Source><q:Tag>a</q:Tag></b:Source></b:Sources>",
            {}, notXml + "1: "},
        {"an empty file", "", {}, notAList + "it is empty)"},
        {"UTF-16 without a byte-order mark, which the parser would guess at", std::string("<\0b\0:\0S\0", 8),
            {}, notAList + "it is not UTF-8: byte 1 is 0x00"},
        {"a file of blanks", " \r\n\t\n", {}, notAList + "it is empty)"},
        {"Latin-1 without a declaration: the offset of the first byte that is not UTF-8",
            root
                + "<b:Source><b:Tag>G\xF6"
                  "del</b:Tag></b:Source></b:Sources>",
            {},
            notAList + "it is not UTF-8: byte " + std::to_string(root.size() + 18)
                + " is 0xF6; save it as UTF-8)"},
        {"not XML at all", "@book{a, title = {T}}\n", {}, notXml + "1: "},
        {"another encoding: records we add are UTF-8",
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + root + "</b:Sources>", {},
            notAList + "it is in ISO-8859-1, not UTF-8)"},
        {"UTF-16, told by its byte-order mark", testing::encodedAs(root + "</b:Sources>", "UTF-16LE"), {},
            notAList + "it is in UTF-16"},
        {"a document type declaration, which could define entities",
            "<!DOCTYPE b:Sources [<!ENTITY e 'x'>]>" + root
                + "<b:Source><b:Tag>&e;</b:Tag></b:Source></b:Sources>",
            {}, notAList + "it has a document type declaration)"}};
    for (const ReadRow &row : rows) {
        SCOPED_TRACE(row.why);
        const SourceListParse parsed = parseSourceList(row.document, "x.xml");
        if (!row.error.empty()) {
            EXPECT_EQ(parsed.error.substr(0, row.error.size()), row.error);
            EXPECT_TRUE(parsed.list.records.empty());
            continue;
        }
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        ASSERT_EQ(parsed.list.records.size(), row.records.size());
        for (size_t i = 0; i < row.records.size(); ++i) {
            EXPECT_EQ(parsed.list.recordText(parsed.list.records[i]), row.records[i].text) << "record " << i;
            EXPECT_EQ(parsed.list.records[i].tag, row.records[i].tag) << "record " << i;
        }
        EXPECT_EQ(parsed.list.text, row.document);
        const std::string_view tail = std::string_view(parsed.list.text).substr(parsed.list.recordsEnd);
        EXPECT_TRUE(tail.starts_with("</") && tail.substr(0, tail.find('>')).ends_with("Sources")) << tail;
    }
}

std::string record(const std::string &tag, const std::string &rest = "")
{
    return "<b:Source><b:Tag>" + tag + "</b:Tag>" + rest + "</b:Source>";
}

SourceList parsed(const std::string &document)
{
    SourceListParse result = parseSourceList(document, "test");
    EXPECT_TRUE(result.ok()) << result.error;
    return std::move(result.list);
}

// The records of a converted document, as the converter hands them over.
ConvertedRecords convertedFrom(const std::string &records)
{
    ConvertedRecords converted;
    const std::string document
        = "<?xml version=\"1.0\"?>\n" + convertedRoot + "\n" + records + "</b:Sources>\n";
    // In small pieces, so that markers cut between two of them are found.
    for (size_t i = 0; i < document.size(); i += 7) {
        converted.append(std::string_view(document).substr(i, 7));
    }
    return converted;
}

struct MergeRow {
    const char *why;
    std::string existing;
    std::string converted; // its records, one element per line as the converter writes them
    std::string merged;
    std::vector<std::string> messages = {};
    bool generatedTags = false; // the converted tags are made up, not the entries' keys
};

const std::string kept = "<b:Source x='>'><b:Unknown a=\"1\">  <![CDATA[&]]> </b:Unknown><!-- note -->"
                         "<b:Tag>kept</b:Tag><b:Guid>{AB}</b:Guid></b:Source>";

// A converted record: one element per line.
std::string ours(const std::string &tag, const std::string &rest = "")
{
    return "<b:Source>\n<b:Tag>" + tag + "</b:Tag>\n" + rest + "</b:Source>\n";
}

TEST(Merge, KeepsTheExistingBytesAndFollowsTheListsLayout)
{
    const std::string key = record("Key", "<b:Guid>{K}</b:Guid>");
    const std::string smith = record("Smith2001", "<b:Guid>{A}</b:Guid><b:Year>1</b:Year>") + key;
    const MergeRow rows[] = {
        {"one line, as the word processor saves it: a record replaced in place, one added, both on the line",
            "<?xml version=\"1.0\"?>" + root + kept + record("old", "<b:Year>1</b:Year>") + record("z")
                + "</b:Sources>",
            ours("new") + ours("old", "<b:Year>2</b:Year>\n"),
            "<?xml version=\"1.0\"?>" + root + kept + record("old", "<b:Year>2</b:Year>") + record("z")
                + record("new") + "</b:Sources>"},
        {"a line per record, another prefix: ours declares its own",
            "<s:Sources xmlns:s=" + xmlns
                + ">\n<s:Source><s:Tag>a</s:Tag></s:Source>\n  <!-- end -->\n</s:Sources>\n",
            ours("b") + ours("a", "<b:Year>3</b:Year>\n"),
            "<s:Sources xmlns:s=" + xmlns + ">\n<b:Source" + declareB
                + "><b:Tag>a</b:Tag><b:Year>3</b:Year></b:Source>" + "\n  <!-- end -->\n<b:Source" + declareB
                + "><b:Tag>b</b:Tag></b:Source>\n</s:Sources>\n"},
        {"the prefix we use bound to another namespace",
            "<Sources xmlns=" + xmlns + " xmlns:b='urn:other'><Source><Tag>a</Tag><b:x/></Source></Sources>",
            ours("a"),
            "<Sources xmlns=" + xmlns + " xmlns:b='urn:other'><b:Source" + declareB
                + "><b:Tag>a</b:Tag></b:Source></Sources>"},
        {"tags match once entities are decoded, whichever way each side writes them",
            root + record("R&#38;D") + record("x&#60;y") + "</b:Sources>",
            ours("R&amp;D", "<b:Year>4</b:Year>\n") + ours("x&lt;y", "<b:Year>5</b:Year>\n"),
            root + record("R&amp;D", "<b:Year>4</b:Year>") + record("x&lt;y", "<b:Year>5</b:Year>")
                + "</b:Sources>"},
        {"a tag is matched exactly: case and spaces count",
            root + record("Abc") + record(" abc") + "</b:Sources>", ours("abc"),
            root + record("Abc") + record(" abc") + record("abc") + "</b:Sources>"},
        {"no records yet: the converter's own layout", root + "\n</b:Sources>", ours("a") + ours("b"),
            root + "\n" + ours("a") + ours("b") + "</b:Sources>"},
        {"an empty root element is reopened", "<b:Sources xmlns:b=" + xmlns + "/>", ours("a"),
            "<b:Sources xmlns:b=" + xmlns + ">\n" + ours("a") + "</b:Sources>"},
        {"CR LF line ends and indented records: ours follow both",
            "<?xml version=\"1.0\"?>\r\n" + root + "\r\n  <b:Source>\r\n    <b:Tag>x</b:Tag>\r\n    "
                + "<b:Author>\r\n      <b:Author>\r\n        <b:Corporate>C</b:Corporate>\r\n      "
                + "</b:Author>\r\n    </b:Author>\r\n  </b:Source>\r\n</b:Sources>\r\n",
            ours("y", "<b:Author>\n<b:Author>\n<b:Corporate>D\nE</b:Corporate>\n</b:Author>\n</b:Author>\n"),
            "<?xml version=\"1.0\"?>\r\n" + root + "\r\n  <b:Source>\r\n    <b:Tag>x</b:Tag>\r\n    "
                + "<b:Author>\r\n      <b:Author>\r\n        <b:Corporate>C</b:Corporate>\r\n      "
                + "</b:Author>\r\n    </b:Author>\r\n  </b:Source>\r\n  <b:Source>\r\n    "
                  "<b:Tag>y</b:Tag>\r\n    "
                + "<b:Author>\r\n      <b:Author>\r\n        <b:Corporate>D\r\nE</b:Corporate>\r\n      "
                + "</b:Author>\r\n    </b:Author>\r\n  </b:Source>\r\n</b:Sources>\r\n"},
        {"indentation that differs between records is not imitated, nor is the end tag's moved",
            root
                + "\n <b:Source><b:Tag>x</b:Tag></b:Source>\n   <b:Source><b:Tag>y</b:Tag></b:Source>\n  "
                  "</b:Sources>",
            ours("z"),
            root + "\n <b:Source><b:Tag>x</b:Tag></b:Source>\n   <b:Source><b:Tag>y</b:Tag></b:Source>\n"
                + record("z") + "\n  </b:Sources>"},
        {"a line break inside a text says nothing about the layout",
            root + record("x", "<b:Title>a\nb</b:Title>") + "</b:Sources>",
            ours("y", "<b:Title>c\nd</b:Title>\n"),
            root + record("x", "<b:Title>a\nb</b:Title>") + record("y", "<b:Title>c\nd</b:Title>")
                + "</b:Sources>"},
        {"... nor about the indentation",
            root
                + "\n  <b:Source>\n    <b:Tag>x</b:Tag>\n    <b:Title>a\nb</b:Title>\n  "
                  "</b:Source>\n</b:Sources>",
            ours("y"),
            root + "\n  <b:Source>\n    <b:Tag>x</b:Tag>\n    <b:Title>a\nb</b:Title>\n  </b:Source>\n"
                + "  <b:Source>\n    <b:Tag>y</b:Tag>\n  </b:Source>\n</b:Sources>"},
        {"a tag twice in the list: the first gives way, the second stays",
            root + record("d", "<b:Year>1</b:Year>") + record("e") + record("d", "<b:Year>2</b:Year>")
                + "</b:Sources>",
            ours("d", "<b:Year>9</b:Year>\n"),
            root + record("d", "<b:Year>9</b:Year>") + record("e") + record("d", "<b:Year>2</b:Year>")
                + "</b:Sources>",
            {"the list holds 2 records tagged 'd'; one was replaced, the others were kept as they were"}},
        {"a tag twice in the list: the one with the converted record's Guid gives way",
            root + record("d", "<b:Guid>{1}</b:Guid>") + record("d", "<b:Guid>{2}</b:Guid>") + "</b:Sources>",
            ours("d", "<b:Guid>{2}</b:Guid>\n<b:Year>9</b:Year>\n"),
            root + record("d", "<b:Guid>{1}</b:Guid>") + record("d", "<b:Guid>{2}</b:Guid><b:Year>9</b:Year>")
                + "</b:Sources>",
            {"the list holds 2 records tagged 'd'; one was replaced, the others were kept as they were"}},
        {"a tag twice among the converted records: the second gets a fresh one, one the list does not hold "
         "for another source",
            root + record("d") + record("da", "<b:Guid>{X}</b:Guid>") + "</b:Sources>",
            ours("d", "<b:Year>1</b:Year>\n") + ours("d", "<b:Year>2</b:Year>\n"),
            root + record("d", "<b:Year>1</b:Year>") + record("da", "<b:Guid>{X}</b:Guid>")
                + record("db", "<b:Year>2</b:Year>") + "</b:Sources>",
            {"the tag 'd' already names another source; added as 'db'"}},
        {"... and a second run finds it again under that tag",
            root + record("d") + record("da", "<b:Guid>{X}</b:Guid>") + record("db") + "</b:Sources>",
            ours("d", "<b:Year>1</b:Year>\n") + ours("d", "<b:Year>2</b:Year>\n"),
            root + record("d", "<b:Year>1</b:Year>") + record("da", "<b:Guid>{X}</b:Guid>")
                + record("db", "<b:Year>2</b:Year>") + "</b:Sources>",
            {"the tag 'd' already names another source; its record tagged 'db' was replaced"}},
        {"a made-up tag stands for the source its Guid names: the same source converted again",
            root + smith + "</b:Sources>", ours("Smith2001", "<b:Guid>{A}</b:Guid>\n"),
            root + record("Smith2001", "<b:Guid>{A}</b:Guid>") + key + "</b:Sources>", {}, true},
        {"... and another source with the same made-up tag keeps its place", root + smith + "</b:Sources>",
            ours("Smith2001", "<b:Guid>{B}</b:Guid>\n"),
            root + smith + record("Smith2001a", "<b:Guid>{B}</b:Guid>") + "</b:Sources>",
            {"the tag 'Smith2001' already names another source; added as 'Smith2001a'"}, true},
        {"a key is the source's name: its Guid does not matter", root + smith + "</b:Sources>",
            ours("Smith2001", "<b:Guid>{B}</b:Guid>\n"),
            root + record("Smith2001", "<b:Guid>{B}</b:Guid>") + key + "</b:Sources>"},
        {"namesakes in the list and among the converted records",
            root + record("d") + record("e") + record("d") + record("f") + "</b:Sources>",
            ours("d") + ours("d") + ours("g") + ours("f"),
            root + record("d") + record("e") + record("d") + record("f") + record("da") + record("g")
                + "</b:Sources>",
            {"the list holds 2 records tagged 'd'; one was replaced, the others were kept as they were",
                "the tag 'd' already names another source; added as 'da'"}},
        {"a record without a tag is kept and never matched",
            root + "<b:Source><b:Year>1</b:Year><b:Tag></b:Tag></b:Source>" + "</b:Sources>", ours(""),
            root + "<b:Source><b:Year>1</b:Year><b:Tag></b:Tag></b:Source>" + record("") + "</b:Sources>"}};
    for (const MergeRow &row : rows) {
        SCOPED_TRACE(row.why);
        ConvertedRecords converted = convertedFrom(row.converted);
        for (ConvertedRecord &record : converted.records()) {
            record.generatedTag = row.generatedTags;
        }
        const SourceList existing = parsed(row.existing);
        std::string merged;
        const MergeOutcome outcome
            = writeMergedSourceList(existing, converted, [&](std::string_view piece) { merged += piece; });
        EXPECT_EQ(outcome.error, "");
        EXPECT_EQ(merged, row.merged);
        const MergeReport &report = outcome.report;
        EXPECT_EQ(report.messages, row.messages);
        // Each record of the list is counted once, as kept or replaced; each
        // converted one once, as replacing or added.
        EXPECT_TRUE(report.merged);
        EXPECT_EQ(report.recordsKept + report.recordsReplaced, int(existing.records.size()));
        EXPECT_EQ(report.recordsReplaced + report.recordsAdded, int(converted.records().size()));
        EXPECT_EQ(parseSourceList(merged, "merged").error, "");
    }
}

// A stop asked for once the parser has read the last entry, while the
// records are still being made, still leaves the output as it was: whatever
// the output is and whichever reader read the input, nothing is put in place
// for a stopped run. A child whose parent never comes gets its record only
// after the reading.
TEST(Convert, AStopAfterTheLastEntryLeavesTheOutputAsItWas)
{
    const std::string list = root + "</b:Sources>\n";
    const struct {
        std::optional<std::string> existing; // the output before the run; nullopt: none
        bool merge;
    } rows[] = {{"precious", false}, {std::nullopt, false}, {list, true}};
    for (const auto &[existing, merge] : rows) {
        for (const auto reader : {ConversionSettings::Reader::Btparse, ConversionSettings::Reader::Own}) {
            SCOPED_TRACE(existing.value_or("(no output)")
                + (reader == ConversionSettings::Reader::Own ? ", own reader" : ""));
            TemporaryDirectory directory;
            writeFile(directory / "refs.bib", "@book{child, crossref = {gone}, title = {One}}\n");
            const std::filesystem::path output = directory / "Sources.xml";
            if (existing) {
                writeFile(output, *existing);
            }
            ConversionSettings settings;
            settings.tidy = true;
            settings.mergeIntoOutput = merge;
            settings.reader = reader;
            std::stop_source stop;
            ConversionHooks hooks;
            hooks.stop = stop.get_token();
            hooks.fieldReport = [&stop](const FieldReportRow &) { stop.request_stop(); };

            const ConversionResult result
                = convertFile((directory / "refs.bib").string(), output.string(), settings, hooks);

            EXPECT_TRUE(result.stopped);
            ASSERT_EQ(std::filesystem::exists(output), existing.has_value());
            if (existing) {
                EXPECT_EQ(readFile(output), *existing);
            }
        }
    }
}

// The same through the converter and the file system.
class MergeIntoFile : public ::testing::Test {
protected:
    ConversionResult convert(const std::string &bib, const std::string &input = "refs.bib", bool merge = true)
    {
        writeFile(directory / "refs.bib", bib);
        ConversionSettings settings;
        settings.mergeIntoOutput = merge;
        return convertFiles({(directory / input).string()}, output.string(), settings);
    }

    bool onlyTheInputAndTheOutput() const
    {
        return std::distance(std::filesystem::directory_iterator(directory.path()), {}) == 2;
    }

    TemporaryDirectory directory;
    std::filesystem::path output = directory / "Sources.xml";
};

// A list laid out as the word processor saves it, all records on one line,
// with elements we never write; the result is reviewed like code.
TEST_F(MergeIntoFile, GivesTheExpectedDocument)
{
    const std::filesystem::path data = std::filesystem::path(BIBSOURCES_TEST_DATA) / "merge";
    std::filesystem::copy_file(data / "word_list.xml", output);

    const ConversionResult result = convert(readFile(data / "refs.bib"));

    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(readFile(output), readFile(data / "word_list.merged.xml"));
    EXPECT_EQ(result.merge.recordsKept, 2);
    EXPECT_EQ(result.merge.recordsReplaced, 1);
    EXPECT_EQ(result.merge.recordsAdded, 2);
    EXPECT_TRUE(onlyTheInputAndTheOutput());
}

TEST_F(MergeIntoFile, RefusesAFileThatIsNoSourceListAndLeavesIt)
{
    const std::pair<std::string, std::string> rows[]
        = {{"<html><head/></html>\n", "' is not a bibliography source list (its root element is 'html')"},
            {root + "\n<b:Source>\n",
                "' is not well-formed XML (line 2: the file ends before its root element does; it may be cut "
                "short)"}};
    for (const auto &[contents, error] : rows) {
        SCOPED_TRACE(contents);
        writeFile(output, contents);

        const ConversionResult result = convert("@book{b1, title = {One}}\n");

        EXPECT_TRUE(result.error.starts_with("'" + output.string() + error)) << result.error;
        EXPECT_TRUE(result.error.ends_with("; nothing was written")) << result.error;
        EXPECT_EQ(readFile(output), contents);
        EXPECT_TRUE(onlyTheInputAndTheOutput());
    }
}

// Without a file the plain document is written; with one, a failing input
// leaves it as it was.
TEST_F(MergeIntoFile, WritesAPlainDocumentWithoutAFileAndNothingWhenAnInputFails)
{
    const std::string bib = "@article{a, title = {T}, author = {A. Author}}\n@book{b1, title = {One}}\n";
    const ConversionResult result = convert(bib);
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_FALSE(result.merge.merged);
    const std::string merged = readFile(output);
    std::filesystem::remove(output);
    ASSERT_TRUE(convert(bib, "refs.bib", false).ok());
    EXPECT_EQ(merged, readFile(output));
    EXPECT_FALSE(convert(bib, "missing.bib").ok());
    EXPECT_EQ(readFile(output), merged);
}

} // namespace
} // namespace bibsources
