#include "merge_file.h"
#include "package_files.h"
#include "test_support.h"

#include <bibsources/conversion.h>

#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

namespace bibsources {
namespace {

using namespace bibsources::testing;
namespace fs = std::filesystem;

const std::string berg
    = "<b:Source><b:Tag>Ber19</b:Tag><b:SourceType>Book</b:SourceType><b:Guid>{3F2A1C6E-8B47-"
      "4D1E-9A53-7C0E2B9D4F11}</b:Guid><b:Title>Alt</b:Title><b:RefOrder>1</b:RefOrder></b:Source>";
const std::string wiki
    = "<b:Source><b:Tag>Wik23</b:Tag><b:SourceType>InternetSite</b:SourceType><b:Guid>{C41D7E90-"
      "2F6A-4B38-8E15-D09A7B3C6E54}</b:Guid><b:Title>Lists &amp; lists</b:Title></b:Source>";
// The word processor's root of a list, up to its records.
const std::string wordRoot = wordSourceList("").substr(0, wordSourceList("").find("</b:Sources>"));

constexpr const char *refs
    = "@book{Ber19, author = {Anna Berg}, title = {Neu}, year = 2024}\n"
      "@article{lee07, author = {Lee, Min-jun}, title = {Counting sheep}, year = 2007}\n";

const Member *member(const Members &members, const std::string &name)
{
    const auto found = std::ranges::find(members, name, &Member::name);
    return found == members.end() ? nullptr : &*found;
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
    ConversionResult convert(bool merge)
    {
        writeFile(directory / "refs.bib", refs);
        ConversionSettings settings;
        settings.mergeIntoOutput = merge;
        return convertFiles({(directory / "refs.bib").string()}, document.string(), settings);
    }

    ino_t documentInode() const
    {
        struct stat info { };
        ::stat(document.c_str(), &info);
        return info.st_ino;
    }

    TemporaryDirectory directory;
    fs::path document = directory / "paper.docx";
};

struct Row {
    const char *why;
    Members original;
    bool merge;
    std::string listPart; // where the list is found or put
    std::vector<std::string> changed; // the members that may differ
    std::vector<std::string> tags; // the list's records afterwards
    Members holds; // text that members hold afterwards, byte for byte
    std::array<int, 4> counts; // records kept, replaced and added by a merge; removed by replacing
    std::vector<std::string> missing{}; // cited tags the list lacks
    bool checked = true; // every part that may cite was read
};

// Each row also runs a second time, which changes nothing.
TEST_F(IntoDocument, SetsTheListKeepsEveryOtherPartAndSaysWhichCitedTagsItLacks)
{
    const std::string item1 = "customXml/item1.xml";
    const std::string otherItem = "<?xml version=\"1.0\"?><p:properties xmlns:p=\"urn:dms\"/>";
    const Members linked{{"word/_rels/document.xml.rels", customXmlRelationship(1, "rId2")},
        {"[Content_Types].xml",
            "<Override PartName=\"/customXml/itemProps1.xml\" ContentType=\"application/"
            "vnd.openxmlformats-officedocument.customXmlProperties+xml\"/>"},
        {"customXml/_rels/item1.xml.rels", "relationships/customXmlProps\" Target=\"itemProps1.xml\""}};
    // The list holds Wik23; the body cites Ber19, Mis01, Wik23 and lee07, each
    // instruction split over two runs; the notes cite what they are given.
    const auto citation = [](const std::string &tags) {
        return "<w:p>" + field(instruction(" CITATION ") + instruction(tags + " \\l 1033 ")) + "</w:p>";
    };
    const auto citing = [&](const std::string &footnotes) {
        return documentWithList(wordSourceList(wiki), 1,
            {.body = citation("Ber19 \\m Mis01") + citation("Wik23 \\m lee07"),
                .mainRelationships
                = "<Relationship Id=\"rId9\" Type=\"http://schemas.openxmlformats.org/"
                  "officeDocument/2006/relationships/footnotes\" Target=\"footnotes.xml\"/>",
                .more = {{"word/footnotes.xml",
                    "<w:footnotes xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                        + footnotes + "</w:footnotes>"}}});
    };
    const Row rows[] = {
        {"no list: one is added at item 1, with its properties, linked and typed", wordDocument(), false,
            item1, {"[Content_Types].xml", "word/_rels/document.xml.rels"}, {"Ber19", "lee07"}, linked,
            {0, 0, 0, 0}},
        {"the main part need not be word/document.xml", wordDocument({.mainPart = "doc/main.xml"}), true,
            item1, {"[Content_Types].xml", "doc/_rels/main.xml.rels"}, {"Ber19", "lee07"}, {}, {0, 0, 2, 0}},
        {"an empty list is filled in place", documentWithList(wordSourceList("")), true, item1, {item1},
            {"Ber19", "lee07"}, {{item1, wordRoot}}, {0, 0, 2, 0}},
        {"merge: Wik23 kept, Ber19 replaced where it stood, lee07 added",
            documentWithList(wordSourceList(berg + wiki)), true, item1, {item1}, {"Ber19", "Wik23", "lee07"},
            {{item1, wordRoot}, {item1, wiki}}, {1, 1, 1, 0}},
        {"replace: the records go, the root stays", documentWithList(wordSourceList(berg + wiki)), false,
            item1, {item1}, {"Ber19", "lee07"}, {{item1, wordRoot}}, {0, 0, 0, 2}},
        {"found by its root beside another custom XML part, not by its number",
            documentWithList(wordSourceList(wiki), 3, {.more = customXmlItem(1, otherItem)}), true,
            "customXml/item3.xml", {"customXml/item3.xml"}, {"Wik23", "Ber19", "lee07"},
            {{"customXml/item3.xml", wiki}}, {1, 0, 2, 0}},
        {"merged, the list keeps Wik23; the notes are read too", citing(citation("Foot99 \\m Mis01")), true,
            item1, {item1}, {"Wik23", "Ber19", "lee07"}, {}, {1, 0, 2, 0}, {"Mis01", "Foot99"}},
        {"replaced, Wik23 is gone with the old list", citing(citation("Foot99")), false, item1, {item1},
            {"Ber19", "lee07"}, {}, {0, 0, 0, 1}, {"Mis01", "Wik23", "Foot99"}},
        {"unreadable notes: written all the same, and said", citing("<w:p>"), true, item1, {item1},
            {"Wik23", "Ber19", "lee07"}, {}, {1, 0, 2, 0}, {}, false},
        {"a control character in a member's name is kept as it is stored",
            wordDocument({.more = {{"word/media/a\x01"
                                    "b\tc.png",
                              "1"}}}),
            true, item1, {"[Content_Types].xml", "word/_rels/document.xml.rels"}, {"Ber19", "lee07"}, {},
            {0, 0, 2, 0}},
    };
    const std::regex itemProperties(
        "<\\?xml [^>]*\\?>\n<ds:datastoreItem ds:itemID=\"\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB]"
        "[0-9A-F]{3}-[0-9A-F]{12}\\}\" xmlns:ds=\"http://schemas.openxmlformats.org/officeDocument/2006/"
        "customXml\"><ds:schemaRefs><ds:schemaRef ds:uri=\"http://schemas.openxmlformats.org/"
        "officeDocument/2006/bibliography\"/></ds:schemaRefs></ds:datastoreItem>");
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        writePackage(document, row.original);
        const Members storedBefore = storedPackage(document);

        const ConversionResult result = convert(row.merge);

        ASSERT_TRUE(result.ok()) << result.error;
        EXPECT_TRUE(result.document.intoDocument);
        EXPECT_TRUE(result.document.tidyImplied);
        EXPECT_EQ(result.document.listPart, row.listPart);
        EXPECT_EQ(result.document.citedTagsMissing, row.missing);
        EXPECT_EQ(result.document.citationsUnchecked.empty(), row.checked)
            << result.document.citationsUnchecked;
        EXPECT_EQ((std::array{result.merge.recordsKept, result.merge.recordsReplaced,
                      result.merge.recordsAdded, result.document.recordsRemoved}),
            row.counts);
        const Members after = readPackage(document);
        const Members storedAfter = storedPackage(document);
        ASSERT_GE(after.size(), row.original.size());
        for (size_t i = 0; i < row.original.size(); ++i) {
            EXPECT_EQ(after[i].name, row.original[i].name) << "members keep their order";
            if (std::ranges::find(row.changed, after[i].name) == row.changed.end()) {
                EXPECT_EQ(storedAfter[i], storedBefore[i]) << after[i].name << " is copied as it was stored";
            }
        }
        const Members added(after.begin() + std::ptrdiff_t(row.original.size()), after.end());
        EXPECT_EQ(result.document.listAdded, !added.empty());
        EXPECT_EQ(result.merge.merged, row.merge && added.empty()) << "merged into the list there was";
        if (!added.empty()) {
            ASSERT_EQ(added.size(), 3u);
            EXPECT_EQ(added[0].name, "customXml/item1.xml");
            EXPECT_EQ(added[1].name, "customXml/itemProps1.xml");
            EXPECT_TRUE(std::regex_match(added[1].text, itemProperties)) << added[1].text;
            EXPECT_EQ(added[2].name, "customXml/_rels/item1.xml.rels");
        }
        ASSERT_TRUE(member(after, row.listPart));
        EXPECT_EQ(tagsOf(member(after, row.listPart)->text), row.tags);
        for (const Member &piece : row.holds) {
            EXPECT_NE(member(after, piece.name)->text.find(piece.text), std::string::npos) << piece.name;
        }

        const std::string first = readFile(document);
        const ino_t inode = documentInode();
        const ConversionResult again = convert(row.merge);
        ASSERT_TRUE(again.ok()) << again.error;
        EXPECT_TRUE(again.document.unchanged) << "a second identical run";
        EXPECT_EQ(documentInode(), inode) << "the document was not replaced";
        EXPECT_EQ(readFile(document), first);
        EXPECT_EQ(std::distance(fs::directory_iterator(directory.path()), {}), 2)
            << "only input and document";
    }
}

// A made-up tag that a source of the document's own list holds would make
// the merge take one source for another, and lose the document's.
TEST_F(IntoDocument, MergedIntoAMadeUpTagKeepsClearOfTheListsTags)
{
    const std::string theirs
        = "<b:Source><b:Tag>Lee2007</b:Tag><b:SourceType>Book</b:SourceType><b:Guid>{0B6E2F41-7C3A-"
          "4E59-8D21-5A9C4F7B1E06}</b:Guid><b:Title>Another source</b:Title></b:Source>";
    writePackage(document, documentWithList(wordSourceList(theirs)));
    writeFile(directory / "refs.bib",
        "@article{lee07, author = {Lee, Min-jun}, title = {Counting sheep}, year = 2007}\n"
        "@article{lee07, author = {Lee, Min-jun}, title = {Counting goats}, year = 2007}\n");
    ConversionSettings settings;
    settings.mergeIntoOutput = true;

    const ConversionResult result
        = convertFiles({(directory / "refs.bib").string()}, document.string(), settings);

    ASSERT_TRUE(result.ok()) << result.error;
    const std::string list = member(readPackage(document), "customXml/item1.xml")->text;
    EXPECT_EQ(tagsOf(list), (std::vector<std::string>{"Lee2007", "lee07", "Lee2007a"}));
    EXPECT_NE(list.find(theirs), std::string::npos) << "the document's own source is kept byte for byte";
    EXPECT_EQ((std::array{result.merge.recordsKept, result.merge.recordsReplaced, result.merge.recordsAdded}),
        (std::array{1, 0, 2}));
}

TEST_F(IntoDocument, KeepsTheModeAndFollowsALink)
{
    const fs::path target = directory / "real.docx";
    writePackage(target, wordDocument());
    ::chmod(target.c_str(), 0640);
    fs::create_symlink("real.docx", document);

    ASSERT_TRUE(convert(false).ok());

    EXPECT_TRUE(fs::is_symlink(document));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    EXPECT_TRUE(member(readPackage(target), "customXml/item1.xml"));
}

TEST_F(IntoDocument, RefusesWhatItCannotChangeAndLeavesIt)
{
    struct Refusal {
        const char *why;
        std::string name;
        Members package; // what the file holds: these members,
        std::string bytes; // or else these bytes, or else there is no file
        const char *says;
    };
    const Refusal rows[] = {
        {"not a zip package", "paper.docx", {}, "Dear reader,\n",
            "' is not a Word document (it is not a zip package); it was left as it was"},
        {"an encrypted document is an OLE compound file", "paper.docx", {},
            std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'),
            "' is encrypted (a password-protected document) or in the older .doc format; save it as an "
            "unprotected .docx first; it was left as it was"},
        {"a signature would break", "paper.docx",
            wordDocument({.more = {{"_xmlsignatures/sig1.xml", "<Signature/>"}}}), "",
            "' is digitally signed, and changing its sources would break the signature; remove the signature "
            "first; it was left as it was"},
        {"Strict packages use other namespaces", "paper.docx",
            wordDocument({.packageRelationshipType
                = "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument"}),
            "",
            "' is a Strict Open XML document, which bibsources cannot change; save it as an ordinary Word "
            "document (.docx) first; it was left as it was"},
        {"a workbook is a package but no document", "paper.docx",
            wordDocument({.mainContentType
                = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"}),
            "",
            "' is not a document bibsources can change: its main part is 'application/vnd.openxmlformats-"
            "officedocument.spreadsheetml.sheet.main+xml', not a word-processing document; it was left as it "
            "was"},
        {"a zip file of another name is recognised by its content", "Sources.xml", {{"a.txt", "text"}}, "",
            "' is not a document bibsources can change: it has no main document part; it was left as it was"},
        {"a list that is not well-formed", "paper.docx", documentWithList(wordSourceList("<b:Source>")), "",
            "the source list of '"},
        {"a list with a document type declaration, even one that declares nothing, as a list file",
            "paper.docx", documentWithList(withDocumentType(wordSourceList(wiki))), "",
            "paper.docx: customXml/item1.xml' is not a bibliography source list (it has a document type "
            "declaration); it was left as it was"},
        {"two members of one name: which is meant is anyone's guess", "paper.docx", {},
            packageBytes(wordDocument({.more = {{"word/media/one.png", "1"}, {"word/media/two.png", "2"}}}),
                {{"two.png", "one.png"}}),
            "paper.docx' is damaged: it has two members named 'word/media/one.png'; it was left as it was"},
        {"two names that differ only in case, which the package format counts as one", "paper.docx",
            wordDocument({.more = {{"word/media/Image.png", "1"}, {"word/media/image.png", "2"}}}), "",
            "paper.docx' is damaged: it has two members named 'word/media/Image.png' and "
            "'word/media/image.png', which the package format counts as one name; it was left as it was"},
        {"a NUL in a name, which libzip would turn into a blank", "paper.docx", {},
            packageBytes(wordDocument({.more = {{"word/media/aXb.png", "1"}}}),
                {{"aXb.png", std::string("a\0b.png", 7)}}),
            "paper.docx' is damaged: the name of its member 'word/media/a\\x00b.png' holds a NUL, which "
            "would "
            "not stay as it is stored; it was left as it was"},
        {"no document is created", "new.docx", {}, "",
            "' does not exist; sources go into an existing document, and none is created"},
    };
    for (const Refusal &row : rows) {
        for (const bool merge : {false, true}) {
            SCOPED_TRACE(std::string(row.why) + (merge ? ", merging" : ", replacing"));
            document = directory / row.name;
            if (!row.package.empty()) {
                writePackage(document, row.package);
            } else if (!row.bytes.empty()) {
                writeFile(document, row.bytes);
            }
            const bool existed = fs::exists(document);
            const std::string before = existed ? readFile(document) : "";

            const ConversionResult result = convert(merge);

            EXPECT_NE(result.error.find(row.says), std::string::npos) << result.error;
            EXPECT_EQ(fs::exists(document), existed);
            EXPECT_TRUE(!existed || readFile(document) == before) << "the file was changed";
            fs::remove(document);
            EXPECT_EQ(std::distance(fs::directory_iterator(directory.path()), {}), 1)
                << "no temporary file is left";
        }
    }
}

} // namespace
} // namespace bibsources
