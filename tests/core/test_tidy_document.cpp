#include "fields.h"
#include "test_support.h"
#include "tidy_document.h"

#include <gtest/gtest.h>

#include <regex>

namespace bibsources {
namespace {

Entry entry(const char *type, const char *key, std::vector<std::pair<const char *, const char *>> fields,
    int line = 1)
{
    Entry made{type, key, {}, line};
    for (const auto &[name, text] : fields) {
        made.fields.push_back(Field{name, text, std::nullopt});
        if (isContributorField(name)) {
            made.fields.back().names = std::vector<Person>{Person{{text}, {}, {}, {}}};
        }
    }
    return made;
}

struct Written {
    std::vector<std::string> records;
    TidyReport report;
};

Written write(const std::vector<Entry> &entries, bool crossrefsPossible = true)
{
    Written written;
    TidyWriter writer(
        "dir/refs.bib", [&](std::string_view record) { written.records.emplace_back(record); },
        crossrefsPossible);
    for (Entry entry : entries) {
        writer.add(std::move(entry));
    }
    written.report = writer.finish();
    return written;
}

std::string tagOf(const std::string &record)
{
    std::smatch match;
    return std::regex_search(record, match, std::regex("<b:Tag>([^<]*)</b:Tag>")) ? match[1].str() : "";
}

// The parent may stand before or after the child, as in BibTeX; a crossref
// to no entry is reported.
TEST(TidyDocument, ResolvesACrossrefInEitherOrder)
{
    const Entry child = entry("inproceedings", "c", {{"title", "Paper"}, {"crossref", "P"}, {"pages", "1"}});
    const Entry parent = entry("proceedings", "p", {{"title", "Proc"}, {"year", "1999"}, {"pages", "9"}});
    for (const bool parentFirst : {true, false}) {
        const Entry orphan = entry("inbook", "o", {{"crossref", "gone"}}, 7);
        const Written written
            = write(parentFirst ? std::vector{parent, child, orphan} : std::vector{child, parent, orphan});
        const std::string &record = written.records[parentFirst ? 1 : 0];
        EXPECT_NE(record.find("<b:Title>Paper</b:Title>"), std::string::npos) << record;
        EXPECT_NE(record.find("<b:ConferenceName>Proc</b:ConferenceName>"), std::string::npos) << record;
        EXPECT_NE(record.find("<b:Year>1999</b:Year>"), std::string::npos) << record;
        EXPECT_NE(record.find("<b:Pages>1</b:Pages>"), std::string::npos) << "the child's own field wins";
        EXPECT_EQ(written.report.messages,
            std::vector<std::string>{"dir/refs.bib: entry 'o' near line 7 names "
                                     "crossref 'gone', which is not in the file"});
        EXPECT_EQ(written.records.size(), 3u);
    }
}

// Records go out while the parser reads on, until one needs the rest of the
// file; from then on they wait, so that the order stays the input's.
TEST(TidyDocument, WritesAtOnceUntilARecordMustWait)
{
    std::vector<std::string> records;
    TidyWriter writer("refs.bib", [&](std::string_view record) { records.emplace_back(record); });
    writer.add(entry("book", "a", {}));
    EXPECT_EQ(records.size(), 1u);
    writer.add(entry("inbook", "child", {{"crossref", "later"}}));
    writer.add(entry("book", "later", {{"title", "Parent"}}));
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(writer.finish().recordsWritten, 3);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(tagOf(records[1]), "child");
    EXPECT_NE(records[1].find("<b:BookTitle>Parent</b:BookTitle>"), std::string::npos) << records[1];
    EXPECT_EQ(tagOf(records[2]), "later");
}

// Definitions and preambles write no record; missing and repeated keys get
// unique tags. A file that cannot hold a crossref lets written entries go;
// the tags and the records that wait for them must not notice.
TEST(TidyDocument, TagsMissingAndRepeatedKeysUniquely)
{
    const std::vector<Entry> entries{entry("string", "", {{"jgr", "J. Geo"}}), entry("preamble", "", {}),
        entry("STRING", "", {}), entry("book", "Smith2001", {{"author", "Smith"}, {"year", "2001"}}, 1),
        entry("book", "", {{"author", "Smith"}, {"year", "2001"}}, 5),
        entry("article", "a", {{"title", "After the wait"}, {"author", "Doe"}}, 7),
        entry("book", "smith2001", {{"author", "Smith"}, {"year", "2001"}}, 9), // same key in another case
        entry("book", "", {{"author", "van Berg"}, {"date", "1999-05"}}, 12),
        entry("book", "", {{"title", "Nobody"}}, 14),
        entry("book", "Smith2001a", {}, 20)}; // a later key is never generated again
    const Written written = write(entries);
    std::vector<std::string> tags;
    for (const std::string &record : written.records) {
        tags.push_back(tagOf(record));
    }
    EXPECT_EQ(tags,
        (std::vector<std::string>{
            "Smith2001", "Smith2001b", "a", "Smith2001c", "vanBerg1999", "Anonymous", "Smith2001a"}));
    EXPECT_EQ(written.report.recordsWritten, 7);
    ASSERT_EQ(written.report.messages.size(), 4u);
    EXPECT_EQ(written.report.messages[0], "dir/refs.bib: entry near line 5 has no key; tagged Smith2001b");
    EXPECT_EQ(written.report.messages[1],
        "dir/refs.bib: entry near line 9 repeats the key 'smith2001'; tagged Smith2001c");
    const Written forgotten = write(entries, false);
    EXPECT_EQ(forgotten.records, written.records);
    EXPECT_EQ(forgotten.report.messages, written.report.messages);
}

TEST(TidyDocument, ReadsACrossrefOnlyWhereTheFileCanHoldOne)
{
    const testing::TemporaryDirectory folder;
    const std::pair<std::string, bool> rows[] = {{"@book{a, title = {No parent here}}\n", false},
        {"@inbook{c, crossref = {p}}\n", true}, {"@inbook{c, CrossRef = {p}}\n", true},
        {std::string((1 << 20) - 4, 'x') + "crossref", true}, // straddles the end of the first 1 MiB read
        {std::string("\xFF\xFE@\0b\0", 6), true}, {"", false}};
    for (const auto &[contents, possible] : rows) {
        testing::writeFile(folder / "refs.bib", contents);
        EXPECT_EQ(mayHaveCrossrefs((folder / "refs.bib").string()), possible) << contents.substr(0, 30);
    }
    EXPECT_TRUE(mayHaveCrossrefs("-"));
    EXPECT_TRUE(mayHaveCrossrefs((folder / "missing.bib").string()));
}

} // namespace
} // namespace bibsources
