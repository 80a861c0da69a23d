#include "package_files.h"
#include "source_list.h"
#include "test_support.h"

#include <bibsources/conversion.h>

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

namespace bibsources {
namespace {

using namespace bibsources::testing;
namespace fs = std::filesystem;

constexpr const char *bibliography = "http://schemas.openxmlformats.org/officeDocument/2006/bibliography";

// As the word processor saves a document's list: one line, its chosen style
// on the root, records we did not write.
std::string wordList(const std::string &records)
{
    return std::string("<?xml version=\"1.0\" standalone=\"yes\"?>\n<b:Sources "
                       "SelectedStyle=\"\\APASixthEditionOfficeOnline.xsl\" "
                       "StyleName=\"APA\" Version=\"6\" xmlns:b=\"")
        + bibliography + "\" xmlns=\"" + bibliography + "\">" + records + "</b:Sources>";
}

const std::string berg
    = "<b:Source><b:Tag>Ber19</b:Tag><b:SourceType>Book</b:SourceType><b:Guid>{3F2A1C6E-8B47-"
      "4D1E-9A53-7C0E2B9D4F11}</b:Guid><b:Title>Alt</b:Title><b:RefOrder>1</b:RefOrder></b:Source>";
const std::string wiki
    = "<b:Source><b:Tag>Wik23</b:Tag><b:SourceType>InternetSite</b:SourceType><b:Guid>{C41D7E90-"
      "2F6A-4B38-8E15-D09A7B3C6E54}</b:Guid><b:Title>Lists &amp; lists</b:Title></b:Source>";

constexpr const char *refs
    = "@book{Ber19, author = {Anna Berg}, title = {Neu}, year = 2024}\n"
      "@article{lee07, author = {Lee, Min-jun}, title = {Counting sheep}, year = 2007}\n";

const Member *member(const Members &members, const std::string &name)
{
    for (const Member &candidate : members) {
        if (candidate.name == name) {
            return &candidate;
        }
    }
    return nullptr;
}

std::vector<std::string> tagsOf(const std::string &listText)
{
    const SourceListParse parsed = parseSourceList(listText, "list");
    EXPECT_TRUE(parsed.ok()) << parsed.error;
    std::vector<std::string> tags;
    for (const SourceListRecord &record : parsed.list.records) {
        tags.push_back(record.tag.value_or(""));
    }
    return tags;
}

class IntoDocument : public ::testing::Test {
protected:
    ConversionResult convert(bool merge, const std::string &bib = refs)
    {
        writeFile(directory / "refs.bib", bib);
        ConversionSettings settings;
        settings.mergeIntoOutput = merge;
        return convertFiles({(directory / "refs.bib").string()}, document.string(), settings);
    }

    bool onlyTheInputAndTheDocument() const
    {
        return std::distance(fs::directory_iterator(directory.path()), {}) == 2;
    }

    TemporaryDirectory directory;
    fs::path document = directory / "paper.docx";
};

Members withList(int n, const std::string &list, Members before = {})
{
    DocumentShape shape;
    shape.mainRelationships = customXmlRelationship(n, "rId7");
    shape.contentTypes = customXmlPropertiesOverride(n);
    shape.more = std::move(before);
    const Members item = customXmlItem(n, list);
    shape.more.insert(shape.more.end(), item.begin(), item.end());
    return wordDocument(shape);
}

struct Row {
    const char *why;
    Members original;
    bool merge;
    std::string listPart; // where the list is found or put
    std::vector<std::string> changed; // the members that may differ
    std::vector<std::string> tags; // the list's records afterwards
};

TEST_F(IntoDocument, SetsTheListAndKeepsEveryOtherPart)
{
    DocumentShape elsewhere;
    elsewhere.mainPart = "doc/main.xml";
    const Member otherItem{
        "customXml/item1.xml", "<?xml version=\"1.0\"?><p:properties xmlns:p=\"urn:dms\"/>"};
    const Row rows[] = {
        {"no list: one is added at item 1, with its properties, linked and typed", wordDocument(), false,
            "customXml/item1.xml", {"[Content_Types].xml", "word/_rels/document.xml.rels"},
            {"Ber19", "lee07"}},
        {"the main part need not be word/document.xml", wordDocument(elsewhere), true, "customXml/item1.xml",
            {"[Content_Types].xml", "doc/_rels/main.xml.rels"}, {"Ber19", "lee07"}},
        {"an empty list is filled in place", withList(1, wordList("")), true, "customXml/item1.xml",
            {"customXml/item1.xml"}, {"Ber19", "lee07"}},
        {"merge: Wik23 kept, Ber19 replaced where it stood, lee07 added", withList(1, wordList(berg + wiki)),
            true, "customXml/item1.xml", {"customXml/item1.xml"}, {"Ber19", "Wik23", "lee07"}},
        {"replace: the records go, the root stays", withList(1, wordList(berg + wiki)), false,
            "customXml/item1.xml", {"customXml/item1.xml"}, {"Ber19", "lee07"}},
        {"found by its root beside another custom XML part, not by its number",
            withList(3, wordList(wiki), customXmlItem(1, otherItem.text)), true, "customXml/item3.xml",
            {"customXml/item3.xml"}, {"Wik23", "Ber19", "lee07"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        writePackage(document, row.original);
        const std::vector<std::string> storedBefore = storedBytes(document);

        const ConversionResult result = convert(row.merge);

        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_TRUE(result.document.intoDocument);
        EXPECT_TRUE(result.document.tidyImplied);
        EXPECT_EQ(result.document.listPart, row.listPart);
        const Members after = readPackage(document);
        const std::vector<std::string> storedAfter = storedBytes(document);
        ASSERT_GE(after.size(), row.original.size());
        for (size_t i = 0; i < row.original.size(); ++i) {
            EXPECT_EQ(after[i].name, row.original[i].name) << "members keep their order";
            const bool mayChange
                = std::find(row.changed.begin(), row.changed.end(), after[i].name) != row.changed.end();
            if (!mayChange) {
                EXPECT_EQ(storedAfter[i], storedBefore[i]) << after[i].name << " is copied as it was stored";
            }
        }
        const Member *list = member(after, row.listPart);
        ASSERT_TRUE(list);
        EXPECT_EQ(tagsOf(list->text), row.tags);
        EXPECT_TRUE(onlyTheInputAndTheDocument());
    }
}

TEST_F(IntoDocument, AddsTheItemItsPropertiesAndTheirLinks)
{
    writePackage(document, wordDocument());

    const ConversionResult result = convert(false);

    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_TRUE(result.document.listAdded);
    const Members after = readPackage(document);
    ASSERT_EQ(after.size(), wordDocument().size() + 3);
    EXPECT_EQ(after[after.size() - 3].name, "customXml/item1.xml");
    EXPECT_EQ(after[after.size() - 2].name, "customXml/itemProps1.xml");
    EXPECT_EQ(after[after.size() - 1].name, "customXml/_rels/item1.xml.rels");
    EXPECT_TRUE(std::regex_match(after[after.size() - 2].text,
        std::regex(
            "<\\?xml [^>]*\\?>\n<ds:datastoreItem ds:itemID=\"\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB]"
            "[0-9A-F]{3}-[0-9A-F]{12}\\}\" xmlns:ds=\"http://schemas.openxmlformats.org/officeDocument/2006/"
            "customXml\"><ds:schemaRefs><ds:schemaRef ds:uri=\"http://schemas.openxmlformats.org/"
            "officeDocument/2006/bibliography\"/></ds:schemaRefs></ds:datastoreItem>")))
        << after[after.size() - 2].text;
    EXPECT_NE(after.back().text.find("relationships/customXmlProps\" Target=\"itemProps1.xml\""),
        std::string::npos);
    EXPECT_NE(
        member(after, "word/_rels/document.xml.rels")
            ->text.find("<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
                        "2006/relationships/customXml\" Target=\"../customXml/item1.xml\"/>"),
        std::string::npos);
    EXPECT_NE(member(after, "[Content_Types].xml")
                  ->text.find("<Override PartName=\"/customXml/itemProps1.xml\" ContentType=\"application/"
                              "vnd.openxmlformats-officedocument.customXmlProperties+xml\"/>"),
        std::string::npos);
}

TEST_F(IntoDocument, KeepsTheRootAndTheKeptRecordsByteForByte)
{
    writePackage(document, withList(1, wordList(berg + wiki)));

    const ConversionResult merged = convert(true);

    ASSERT_TRUE(merged.ok()) << merged.error;
    EXPECT_EQ(merged.merge.recordsKept, 1);
    EXPECT_EQ(merged.merge.recordsReplaced, 1);
    EXPECT_EQ(merged.merge.recordsAdded, 1);
    const std::string list = member(readPackage(document), "customXml/item1.xml")->text;
    EXPECT_TRUE(list.starts_with(wordList("").substr(0, wordList("").find("</b:Sources>")))) << list;
    EXPECT_NE(list.find(wiki), std::string::npos);

    writePackage(document, withList(1, wordList(berg + wiki)));
    const ConversionResult replaced = convert(false);
    ASSERT_TRUE(replaced.ok()) << replaced.error;
    EXPECT_EQ(replaced.document.recordsRemoved, 2);
    EXPECT_FALSE(replaced.merge.merged);
    const std::string replacedList = member(readPackage(document), "customXml/item1.xml")->text;
    EXPECT_TRUE(replacedList.starts_with(wordList("").substr(0, wordList("").find("</b:Sources>"))));
    EXPECT_EQ(replacedList.find("Wik23"), std::string::npos);
}

TEST_F(IntoDocument, ChangesNothingOnASecondIdenticalRun)
{
    for (const bool merge : {false, true}) {
        SCOPED_TRACE(merge ? "merge" : "replace");
        writePackage(document, wordDocument());
        ASSERT_TRUE(convert(merge).ok());
        const std::string first = readFile(document);
        struct stat before { };
        ::stat(document.c_str(), &before);

        const ConversionResult again = convert(merge);

        ASSERT_TRUE(again.ok()) << again.error;
        EXPECT_TRUE(again.document.unchanged);
        struct stat after { };
        ::stat(document.c_str(), &after);
        EXPECT_EQ(after.st_ino, before.st_ino) << "the document was not replaced";
        EXPECT_EQ(readFile(document), first);
    }
}

TEST_F(IntoDocument, KeepsTheModeAndFollowsALink)
{
    const fs::path target = directory / "real.docx";
    writePackage(target, wordDocument());
    ::chmod(target.c_str(), 0640);
    fs::create_symlink("real.docx", document);

    ASSERT_TRUE(convert(false).ok());

    EXPECT_TRUE(fs::is_symlink(document));
    struct stat info { };
    ::stat(target.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_TRUE(member(readPackage(target), "customXml/item1.xml"));
}

// A citation field as the word processor writes it, its instruction split
// over two runs.
std::string citationField(const std::string &tags)
{
    return "<w:p><w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText xml:space=\"preserve\"> "
           "CITATION </w:instrText></w:r><w:r><w:instrText xml:space=\"preserve\">"
        + tags
        + " \\l 1033 </w:instrText></w:r><w:r><w:fldChar "
          "w:fldCharType=\"separate\"/></w:r><w:r><w:t>(x)</w:t></w:r>"
          "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r></w:p>";
}

TEST_F(IntoDocument, SaysWhichCitedTagsTheListLacks)
{
    const std::string notesType
        = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes";
    // The list holds Wik23; the body cites Ber19, Mis01, Wik23 and lee07.
    const auto citing = [&](const std::string &footnotes) {
        DocumentShape shape;
        shape.body = citationField("Ber19 \\m Mis01") + citationField("Wik23 \\m lee07");
        shape.mainRelationships = customXmlRelationship(1, "rId7") + "<Relationship Id=\"rId9\" Type=\""
            + notesType + "\" Target=\"footnotes.xml\"/>";
        shape.contentTypes = customXmlPropertiesOverride(1);
        shape.more = customXmlItem(1, wordList(wiki));
        shape.more.push_back({"word/footnotes.xml",
            "<w:footnotes xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                + footnotes + "</w:footnotes>"});
        return wordDocument(shape);
    };
    struct CitationRow {
        const char *why;
        std::string footnotes;
        bool merge;
        std::vector<std::string> missing;
        bool checked;
    };
    const CitationRow rows[] = {
        {"merged: the list keeps Wik23; the notes are read too", citationField("Foot99 \\m Mis01"), true,
            {"Mis01", "Foot99"}, true},
        {"replaced: Wik23 is gone with the old list", citationField("Foot99"), false,
            {"Mis01", "Wik23", "Foot99"}, true},
        {"unreadable notes: written all the same, and said", "<w:p>", true, {}, false},
    };
    for (const CitationRow &row : rows) {
        SCOPED_TRACE(row.why);
        writePackage(document, citing(row.footnotes));

        const ConversionResult result = convert(row.merge);

        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.document.citedTagsMissing, row.missing);
        EXPECT_EQ(result.document.citationsUnchecked.empty(), row.checked)
            << result.document.citationsUnchecked;
        EXPECT_EQ(
            tagsOf(member(readPackage(document), "customXml/item1.xml")->text).size(), row.merge ? 3u : 2u);
    }
}

struct Refusal {
    const char *why;
    std::string name;
    std::function<void(const fs::path &)> make;
    const char *says;
};

TEST_F(IntoDocument, RefusesWhatItCannotChangeAndLeavesIt)
{
    DocumentShape strict;
    strict.packageRelationshipType = "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument";
    DocumentShape sheet;
    sheet.mainContentType = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
    DocumentShape signedDocument;
    signedDocument.more = {{"_xmlsignatures/sig1.xml", "<Signature/>"}};
    const auto package
        = [](Members members) { return [members](const fs::path &path) { writePackage(path, members); }; };
    const Refusal rows[] = {
        {"not a zip package", "paper.docx", [](const fs::path &path) { writeFile(path, "Dear reader,\n"); },
            "' is not a Word document (it is not a zip package); it was left as it was"},
        {"an encrypted document is an OLE compound file", "paper.docx",
            [](const fs::path &path) {
                writeFile(path, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
            },
            "' is encrypted (a password-protected document) or in the older .doc format; save it as an "
            "unprotected "
            ".docx first; it was left as it was"},
        {"a signature would break", "paper.docx", package(wordDocument(signedDocument)),
            "' is digitally signed, and changing its sources would break the signature; remove the signature "
            "first; it was left as it was"},
        {"Strict packages use other namespaces", "paper.docx", package(wordDocument(strict)),
            "' is a Strict Open XML document, which bibsources cannot change; save it as an ordinary Word "
            "document (.docx) first; it was left as it was"},
        {"a workbook is a package but no document", "paper.docx", package(wordDocument(sheet)),
            "' is not a document bibsources can change: its main part is 'application/"
            "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml', not a word-processing "
            "document; it "
            "was left as it was"},
        {"a zip file of another name is recognised by its content", "Sources.xml",
            package({{"a.txt", "text"}}),
            "' is not a document bibsources can change: it has no main document part; it was left as it was"},
        {"a list that is not well-formed", "paper.docx", package(withList(1, wordList("<b:Source>"))),
            "the source list of '"},
        {"no document is created", "new.docx", [](const fs::path &) {},
            "' does not exist; sources go into an existing document, and none is created"},
    };
    for (const Refusal &row : rows) {
        SCOPED_TRACE(row.why);
        const fs::path path = directory / row.name;
        row.make(path);
        const bool existed = fs::exists(path);
        const std::string before = existed ? readFile(path) : "";
        writeFile(directory / "refs.bib", refs);
        const ConversionResult result = convertFiles({(directory / "refs.bib").string()}, path.string(), {});

        EXPECT_NE(result.error.find(row.says), std::string::npos) << result.error;
        EXPECT_EQ(fs::exists(path), existed);
        if (existed) {
            EXPECT_TRUE(readFile(path) == before) << "the file was changed";
            fs::remove(path);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(directory.path()), {}), 1)
            << "no temporary file is left";
    }
}

} // namespace
} // namespace bibsources
