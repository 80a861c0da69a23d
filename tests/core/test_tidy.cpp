#include "crossref_inheritance.h"
#include "field_table.h"
#include "schema_types.h"
#include "source_type.h"
#include "test_support.h"
#include "tidy_dates.h"
#include "tidy_document.h"
#include "tidy_guid.h"
#include "tidy_months.h"
#include "tidy_names.h"
#include "tidy_record.h"
#include "tidy_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <set>
#include <string>

namespace bibsources {
namespace {

Entry entry(const char *type, const char *key, std::vector<std::pair<const char *, const char *>> fields,
    int line = 1)
{
    Entry made{type, key, {}, line};
    for (const auto &[name, text] : fields) {
        made.fields.push_back(Field{name, text, std::nullopt});
        if (!contributorRole(name).empty()) {
            made.fields.back().names = std::vector<Person>{Person{{text}, {}, {}, {}}};
        }
    }
    return made;
}

// The rules of a tidy record are in the golden tidy/records and tidy/rules
// documents. Braces in a link that hold no escape are part of the link; they
// are not in tidy/rules, whose round trip through --to-bib writes them as %7B
// and %7D.
TEST(TidyRecord, KeepsBracesThatHoldNoEscapeInALink)
{
    const std::string record
        = tidyRecord(entry("online", "k", {{"url", "http://x.org/{x}"}}), "k", "{G}").text;
    EXPECT_NE(record.find("<b:URL>http://x.org/{x}</b:URL>"), std::string::npos) << record;
}

// The helper hands over only the table's fields, and the tidy rules name a
// field through FieldKey, which does not compile for a name the table lacks
// (tests/core/compile/field_key.cpp): nothing they read can go missing. Here
// the other way: each field of the table fills the element it names there.
TEST(FieldTable, EachFieldFillsTheTidyElementItNames)
{
    const auto fills = [](const FieldRow &row) {
        for (const char *type : {"article", "book", "misc", "phdthesis"}) {
            for (const char *text : {"3", "2001-03"}) {
                const std::string name(row.name);
                const std::string record
                    = tidyRecord(entry(type, "k", {{name.c_str(), text}}), "k", "{G}").text;
                if (record.find("<b:" + std::string(row.tidy) + ">") != std::string::npos) {
                    return true;
                }
            }
        }
        return false;
    };
    for (const FieldRow &row : fieldTable) {
        EXPECT_TRUE(row.tidy.empty() || fills(row)) << row.name;
    }
    EXPECT_TRUE(helperFields(FieldsFor::TidyMapping).keeps("crossref"));
    // The default mapping reads neither, so the helper need not parse them.
    EXPECT_FALSE(helperFields(FieldsFor::PlainMapping).keeps("crossref"));
    EXPECT_FALSE(helperFields(FieldsFor::PlainMapping).keeps("doi"));
    EXPECT_EQ(helperFields(FieldsFor::TidyMapping).names,
        (std::vector<std::string>{"author", "editor", "translator"}));
}

// The entry types of BibTeX's standard styles and of biblatex, with their
// aliases and the names other programs write.
constexpr const char *knownEntryTypes[]
    = {"article", "book", "booklet", "conference", "inbook", "incollection", "inproceedings", "manual",
        "mastersthesis", "misc", "phdthesis", "proceedings", "techreport", "unpublished", "mvbook",
        "bookinbook", "suppbook", "periodical", "suppperiodical", "collection", "mvcollection",
        "suppcollection", "reference", "mvreference", "inreference", "mvproceedings", "report", "thesis",
        "online", "www", "electronic", "url", "webpage", "patent", "software", "dataset", "audio", "music",
        "video", "movie", "artwork", "image", "performance", "interview", "jurisdiction", "legislation",
        "legal", "letter", "standard", "review", "commentary", "set", "xdata", "customa"};

// Whatever type either mapping writes is one the schema lists, so a
// misspelt source type in either table fails here. The plain mapping passes
// a type it does not know through as it is.
TEST(SourceTypes, AreOnesTheSchemaLists)
{
    const std::set<std::string> schema = testing::schemaSourceTypes();
    ASSERT_FALSE(schema.empty()) << "no ST_SourceType in " << BIBSOURCES_TEST_SCHEMA;
    for (const char *entryType : knownEntryTypes) {
        EXPECT_TRUE(schema.count(std::string(tidySourceType(entryType)))) << entryType;
        const std::string plain = convertPaperType(entryType);
        EXPECT_TRUE(plain == entryType || schema.count(plain)) << entryType << " -> " << plain;
    }
}

// The rows of both type tables people get wrong.
TEST(SourceType, MapsTheNearMisses)
{
    const char *rows[][3] = {// entry type, with --tidy, without
        {"periodical", "ArticleInAPeriodical", "periodical"}, // a whole issue, not an article of one
        {"booklet", "Book", "BookSection"}, // not a section, as in the plain mapping
        {"conference", "ConferenceProceedings", "ConferenceProceedings"}, // BibTeX's old inproceedings
        {"thesis", "Report", "thesis"}, {"online", "InternetSite", "online"},
        {"webpage", "DocumentFromInternetSite", "DocumentFromInternetSite"}, // one page, not the site
        {"InProceedings", "ConferenceProceedings", "InProceedings"}, // only the plain one sees case
        {"article ", "Misc", "article "}, // nothing trimmed
        {"incollection", "BookSection", "incollection"}, // not in the plain table
        {"customa", "Misc", "customa"}, // in neither
        {"articles", "Misc", "articles"}, // whole words only
        {"", "Misc", ""}};
    for (const auto &[entryType, tidy, plain] : rows) {
        EXPECT_EQ(tidySourceType(entryType), std::string_view(tidy)) << entryType;
        EXPECT_EQ(convertPaperType(entryType), plain) << entryType;
    }
    EXPECT_EQ(thesisKind("phdthesis"), "PhD Thesis");
    EXPECT_EQ(thesisKind("MastersThesis"), "Master's Thesis");
    EXPECT_EQ(thesisKind("thesis"), ""); // its type field says which
    EXPECT_TRUE(isThesisType("thesis"));
    EXPECT_FALSE(isThesisType("techreport"));
}

Field contributors(const char *role, std::vector<Person> people)
{
    return Field{role, "", std::move(people)};
}

// The von part, Jr., corporate names, others, the order of roles and the
// elements around a person are in the golden tidy/names document; these are
// the rules it does not show.
TEST(TidyContributors, FollowTheNameRules)
{
    const std::pair<std::vector<Field>, std::string> rows[]
        = {{{contributors("author", {Person{{"others"}, {}, {}, {}}})}, ""}, // only others writes nothing
            {{contributors("author",
                 {Person{{"AT\\&T"}, {"J{\\'e}r{\\^o}me"}, {}, {}}})}, // TeX and markup: escaped text
                "<b:Person>\n<b:Last>AT&amp;T</b:Last>\n<b:First>Jérôme</b:First>\n</b:Person>"},
            {{contributors("author", {Person{{"M\xc3\xbcller"}, {}, {"d\xe9"}, {}}})}, // Latin-1 beside UTF-8
                "<b:Person>\n<b:Last>dé Müller</b:Last>\n</b:Person>"},
            // An unsplittable field and an empty name write nothing.
            {{Field{"author", "x", std::nullopt}, contributors("author", {Person{}})}, ""}};
    for (const auto &[fields, person] : rows) {
        const std::string written = tidyContributors(fields);
        EXPECT_TRUE(person.empty() ? written.empty() : written.find(person) != std::string::npos) << written;
    }
}

TEST(FirstContributorName, IsTheVonAndLastPartOfTheFirstPerson)
{
    EXPECT_EQ(firstContributorName({Field{"title", "x", std::nullopt},
                  contributors("editor", {Person{{"Berg"}, {"Jan"}, {"van"}, {"Jr."}}})}),
        "van Berg");
    EXPECT_EQ(firstContributorName({}), "");
}

// Month macros, names, abbreviations and numbers in seven languages, with a
// day or without; nothing where no single month is named.
TEST(ReadMonth, NamesTheMonthAndDayOrNothing)
{
    struct Row {
        const char *text;
        const char *month;
        const char *day = "";
    };
    const Row rows[] = {{"3", "March"}, {"03", "March"}, {"12", "December"}, {"mar", "March"},
        {"MAR.", "March"}, {"sept", "September"}, // a longer abbreviation
        {" ~may. ", "May"}, {"{Jun}", "June"}, // stray blanks, ties, full stops and braces
        {"März", "March"}, {"Maerz", "March"}, {"marz", "March"}, // accents or not
        {"févr.", "February"}, {"Juillet", "July"}, {"août", "August"}, {"Dezember", "December"},
        {"diciembre", "December"}, {"setembro", "September"}, {"ottobre", "October"}, {"mei", "May"},
        {"mrt", "March"}, // Dutch: no start of its name
        {"jui", ""}, // juin or juillet
        {"10~jan", "January", "10"}, {"January 10", "January", "10"}, {"1. Mai", "May", "1"},
        {"10 3", ""}, // a day needs a named month
        {"31 feb", ""}, {"29 Feb", "February", "29"}, // the longest February
        {"Spring", ""}, {"Jan/Feb", ""}, {"Jan--Mar", ""}, {"", ""}, {"~", ""}, {"0", ""}, {"13", ""},
        {"003", ""}, {"ma", ""}, {"Marchx", ""}, {"3rd", ""}, {"-3", ""}, {"1 2 May", ""}};
    for (const Row &row : rows) {
        const MonthReading reading = readMonth(row.text);
        EXPECT_EQ(reading.month + "|" + reading.day + "|" + (reading.placeholder ? "?" : ""),
            std::string(row.month) + "|" + row.day + "|")
            << "from: " << row.text;
    }
    EXPECT_EQ(readMonth("10\xC2\xA0jan").day, "10"); // a tie as TeX reads it
    for (const char *placeholder : {"?", "??", " ?? ", "?-?"}) {
        EXPECT_TRUE(readMonth(placeholder).placeholder) << placeholder;
    }
}

// A date as biblatex reads it: year, month and day of its start; a null year
// where it is no date.
TEST(ParseDate, ReadsWhatBiblatexReads)
{
    struct Row {
        const char *text;
        const char *year = nullptr;
        const char *month = "";
        const char *day = "";
        const char *season = "";
        bool problem = false;
    };
    const Row rows[] = {{"2004", "2004"}, {"2004-03", "2004", "March"}, {"2004-03-07", "2004", "March", "7"},
        {" 2004-12-31 ", "2004", "December", "31"},
        {"2004-03-07/2004-03-09", "2004", "March", "7"}, // a range: its start
        {"1997/2001", "1997"}, {"2004-02/", "2004", "February"}, {"2004/..", "2004"}, // open end
        {"../2004-05", "2004", "May"}, {"/2004", "2004"}, // open start: its end
        {"2000-02-29", "2000", "February", "29"}, {"2020-05-07T10:00:00", "2020", "May", "7"},
        {"2020-05-07T10:00:00Z", "2020", "May", "7"}, {"2020?", "2020"}, {"2020~", "2020"},
        {"2020-06%", "2020", "June"}, {"2020-21", "2020", "", "", "Spring"},
        {"2020-24", "2020", "", "", "Winter"}, {"199X", "199X"}, {"2020-XX", "2020"},
        {"2020-05-XX", "2020", "May"}, {"-0044-03-15", "-0044", "March", "15"}, {"Y170000002", "170000002"},
        {"2020-02-30", "2020", "February", "", "", true}, // kept up to the month
        {"1900-02-29", "1900", "February", "", "", true}, {"2004-13", "2004", "", "", "", true},
        {"2004-00", "2004", "", "", "", true}, {"2004-03-", "2004", "March", "", "", true},
        {"2004-3x", "2004", "", "", "", true}, {""}, {"Spring 2004"}, {"04"}, {"20045"}, {"c. 2004"},
        {"X004"}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        const auto parts = parseDate(row.text);
        ASSERT_EQ(parts.has_value(), row.year != nullptr);
        if (parts) {
            EXPECT_EQ(parts->year, row.year);
            EXPECT_EQ(parts->month, row.month);
            EXPECT_EQ(parts->day, row.day);
            EXPECT_EQ(parts->season, row.season);
            EXPECT_EQ(!parts->problem.empty(), row.problem);
        }
    }
}

struct Written {
    std::vector<std::string> records;
    TidyReport report;
};

// The records of the entries, with the input read a second time when the
// writer asks for it, as the conversion does.
Written write(const std::vector<Entry> &entries)
{
    Written written;
    TidyWriter writer("dir/refs.bib", [&](std::string_view record) { written.records.emplace_back(record); });
    for (Entry entry : entries) {
        writer.add(std::move(entry));
    }
    for (size_t i = 0; i < entries.size() && writer.wantsEntriesAgain(); ++i) {
        writer.addAgain(entries[i]);
    }
    written.report = writer.finish();
    return written;
}

// The text of a record's first element of that name.
std::string elementOf(const std::string &record, const std::string &name = "Tag")
{
    std::smatch match;
    return std::regex_search(record, match, std::regex("<b:" + name + ">([^<]*)</b:")) ? match[1].str() : "";
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
        const Message orphaned{7, 7, Message::Kind::Changed,
            "entry 'o' near line 7 names crossref 'gone', which is not in the file"};
        EXPECT_EQ(written.report.messages, std::vector<Message>{orphaned});
        EXPECT_EQ(written.records.size(), 3u);
    }
}

// Records go out while the parser reads on. A child whose parent is still to
// come holds back the records behind it, in order, until the parent arrives;
// a child whose parent was let go holds them until the input has been read
// again, and the parent must be found there.
TEST(TidyDocument, HoldsRecordsBackOnlyUntilTheParentIsAtHand)
{
    std::vector<std::string> records;
    TidyWriter writer("refs.bib", [&](std::string_view record) { records.emplace_back(record); });
    writer.add(entry("book", "early", {{"title", "Early"}}));
    EXPECT_EQ(records.size(), 1u);
    writer.add(entry("inbook", "child", {{"crossref", "later"}}));
    writer.add(entry("book", "between", {}));
    EXPECT_EQ(records.size(), 1u);
    writer.add(entry("book", "later", {{"title", "Parent"}}));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(elementOf(records[1]), "child");
    EXPECT_NE(records[1].find("<b:BookTitle>Parent</b:BookTitle>"), std::string::npos) << records[1];
    EXPECT_EQ(elementOf(records[2]), "between");

    writer.add(entry("inbook", "late", {{"crossref", "EARLY"}}, 9));
    writer.add(entry("book", "last", {}));
    EXPECT_EQ(records.size(), 4u);
    ASSERT_TRUE(writer.wantsEntriesAgain());
    writer.addAgain(entry("book", "early", {{"title", "Not this one"}}, 2)); // another line: another entry
    EXPECT_TRUE(writer.wantsEntriesAgain());
    writer.addAgain(entry("book", "early", {{"title", "Early"}}));
    EXPECT_FALSE(writer.wantsEntriesAgain());
    const TidyReport report = writer.finish();
    ASSERT_EQ(records.size(), 6u);
    EXPECT_NE(records[4].find("<b:BookTitle>Early</b:BookTitle>"), std::string::npos) << records[4];
    EXPECT_EQ(elementOf(records[5]), "last");
    EXPECT_EQ(report.recordsWritten, 6);
    EXPECT_EQ(report.error, "");

    // A parent that a second read no longer finds where it was means the file
    // changed under the conversion: its records would not be the file's.
    TidyWriter changed("refs.bib", [](std::string_view) {});
    changed.add(entry("book", "parent", {}));
    changed.add(entry("inbook", "child", {{"crossref", "parent"}}));
    ASSERT_TRUE(changed.wantsEntriesAgain());
    EXPECT_EQ(changed.finish().error, "refs.bib changed while it was being read; convert it again");
}

// Records held back behind a child go through an unnamed file, in pieces of
// a mebibyte: many mebibytes of them come back whole and in order.
TEST(TidyDocument, HoldsBackMoreRecordsThanOneSpoolBuffer)
{
    std::string document;
    TidyWriter writer("refs.bib", [&](std::string_view record) { document += record; });
    writer.add(entry("inbook", "child", {{"crossref", "parent"}}));
    const std::string title(1000, 'x');
    constexpr int between = 5000;
    std::vector<std::string> expected{"child"};
    for (int i = 0; i < between; ++i) {
        expected.push_back("k" + std::to_string(i));
        writer.add(entry("book", expected.back().c_str(), {{"title", title.c_str()}}));
    }
    expected.push_back("parent");
    EXPECT_EQ(document, "");
    writer.add(entry("book", "parent", {{"title", "Parent"}}));
    const TidyReport report = writer.finish();
    EXPECT_EQ(report.error, "");
    EXPECT_EQ(report.recordsWritten, between + 2);
    std::vector<std::string> tags;
    for (size_t at = 0; (at = document.find("<b:Tag>", at)) != std::string::npos; ++at) {
        tags.push_back(document.substr(at + 7, document.find('<', at + 7) - at - 7));
    }
    EXPECT_EQ(tags, expected);
    EXPECT_GT(document.size(), size_t(between) * title.size());
}

// A preamble's definitions apply to the entries after it; what cannot be
// read or expanded, and the commands records keep, are said once each.
TEST(TidyDocument, ExpandsWhatThePreambleDefinesAndNamesWhatIsLeft)
{
    const std::vector<Entry> entries{entry("article", "before", {{"title", R"(\TUB)"}}, 1),
        entry("preamble", "", {{"preamble", R"(\def\TUB{TUGboat}\def\loop{\loop}\def\open{)"}}, 2),
        entry("article", "after", {{"title", R"(\TUB\ \Dash \loop)"}, {"url", R"(http://x/\TUB)"}}, 3),
        entry("article", "again", {{"title", R"(\loop \Dash)"}}, 4)};
    const Written written = write(entries);
    ASSERT_EQ(written.records.size(), 3u);
    EXPECT_NE(written.records[0].find(R"(<b:Title>\TUB</b:Title>)"), std::string::npos);
    EXPECT_NE(written.records[1].find(R"(<b:Title>\TUB \Dash \loop</b:Title>)"), std::string::npos);
    EXPECT_NE(written.records[1].find(R"(<b:URL>http://x/\TUB</b:URL>)"), std::string::npos);
    ASSERT_EQ(written.report.messages.size(), 2u);
    EXPECT_EQ(messageLine("dir/refs.bib", written.report.messages[0]),
        R"(dir/refs.bib: @preamble near line 2: \open: its body never closes; not read)");
    EXPECT_EQ(messageLine("dir/refs.bib", written.report.messages[1]),
        R"(dir/refs.bib: entry 'after' near line 3: \loop expands without end; its text is kept as written)");
    EXPECT_EQ(messageLine("dir/refs.bib", Message{0, 0, Message::Kind::Input, written.report.keptCommands}),
        "dir/refs.bib: 3 records keep commands it does not define: \\Dash \u00D72, \\TUB \u00D71; define "
        "them with --macros FILE");
}

// Definitions and preambles write no record; missing and repeated keys get
// unique tags.
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
        tags.push_back(elementOf(record));
    }
    EXPECT_EQ(tags,
        (std::vector<std::string>{
            "Smith2001", "Smith2001b", "a", "Smith2001c", "vanBerg1999", "Anonymous", "Smith2001a"}));
    EXPECT_EQ(written.report.recordsWritten, 7);
    ASSERT_EQ(written.report.messages.size(), 4u);
    EXPECT_EQ(written.report.messages[0],
        (Message{5, 5, Message::Kind::Changed, "entry near line 5 has no key; tagged Smith2001b"}));
    EXPECT_EQ(
        written.report.messages[1].text, "entry near line 9 repeats the key 'smith2001'; tagged Smith2001c");
}

// One book of tags for every input of a document, and for the list it is
// merged into: no two records share a tag or a Guid, and a made-up tag the
// list holds for another source is passed over.
TEST(TidyDocument, TagsEveryRecordOfADocumentUniquely)
{
    TagBook tags;
    tags.holdListed("Smith2001", sourceGuid("other.bib", "Smith2001")); // another source
    tags.holdListed("Smith2001b", sourceGuid("second.bib", "Smith2001b")); // this very source
    std::vector<std::string> records;
    TidyReport second;
    for (const char *input : {"one/first.bib", "two/second.bib"}) {
        TidyWriter writer(
            input, [&](std::string_view record) { records.emplace_back(record); }, {}, &tags);
        writer.add(entry("book", "K1", {{"author", "Smith"}, {"year", "2001"}}, 1));
        writer.add(entry("book", "k1", {{"author", "Smith"}, {"year", "2001"}}, 2));
        second = writer.finish();
    }
    std::vector<std::string> written;
    std::set<std::string> guids;
    for (const std::string &record : records) {
        written.push_back(elementOf(record));
        guids.insert(elementOf(record, "Guid"));
    }
    EXPECT_EQ(written, (std::vector<std::string>{"K1", "Smith2001a", "Smith2001b", "Smith2001c"}));
    EXPECT_EQ(guids.size(), records.size());
    EXPECT_EQ(elementOf(records[2], "Guid"), sourceGuid("second.bib", "Smith2001b"));
    EXPECT_TRUE(tags.isMadeUp("Smith2001b"));
    EXPECT_FALSE(tags.isMadeUp("K1"));
    EXPECT_EQ(messageLine("two/second.bib", second.messages.front()),
        "two/second.bib: entry near line 1 repeats the key 'K1'; tagged Smith2001b");
}

// A Latin-1 key and the same key in UTF-8 are one tag with one Guid; a key
// is written as well-formed text.
TEST(TidyDocument, MakesTheGuidFromTheTagAsWritten)
{
    std::vector<std::string> records;
    for (const char *key : {"M\xFCller", "M\xC3\xBCller", "K\xe9y&\x01"}) {
        TidyWriter writer("refs.bib", [&](std::string_view record) { records.emplace_back(record); });
        writer.add(entry("book", key, {}, 1));
        writer.finish();
    }
    EXPECT_EQ(elementOf(records[0]), "M\xC3\xBCller");
    EXPECT_EQ(elementOf(records[0], "Guid"), elementOf(records[1], "Guid"));
    EXPECT_NE(records[2].find("<b:Tag>Kéy&amp;</b:Tag>"), std::string::npos);
}

std::string fieldsOf(const Entry &entry)
{
    std::string text;
    for (const Field &field : entry.fields) {
        text += (text.empty() ? "" : " ") + field.name + "=" + field.text;
    }
    return text;
}

// What a child takes from its parent; the golden tidy/crossref document
// shows the records, these the rules one by one.
TEST(CrossrefInheritance, TakesWhatBiblatexInherits)
{
    struct Row {
        const char *why;
        Entry child;
        Entry parent;
        const char *fields;
    };
    const Row rows[] = {
        {"title parts become book title parts", entry("inbook", "c", {}),
            entry("book", "p", {{"title", "T"}, {"subtitle", "S"}, {"titleaddon", "A"}}),
            "booktitle=T booksubtitle=S booktitleaddon=A"},
        {"a periodical's become journal title parts", entry("article", "c", {}),
            entry("periodical", "p", {{"title", "T"}, {"subtitle", "S"}}),
            "journaltitle=T journalsubtitle=S"},
        {"what names or sorts the parent stays its own", entry("inbook", "c", {}),
            entry("book", "p",
                {{"shorttitle", "x"}, {"sorttitle", "x"}, {"indextitle", "x"}, {"crossref", "q"},
                    {"ids", "x"}, {"publisher", "P"}}),
            "publisher=P"},
        {"the child's own fields win, under any of their names",
            entry("inbook", "c", {{"location", "Oslo"}, {"journal", "J"}, {"school", "S"}}),
            entry("book", "p", {{"address", "Bergen"}, {"journaltitle", "K"}, {"institution", "I"}}),
            "location=Oslo journal=J school=S"},
        {"a dated child takes no date, year or month", entry("inbook", "c", {{"year", "2001"}}),
            entry("book", "p", {{"date", "2000-05"}, {"month", "may"}, {"year", "2000"}}), "year=2001"},
        {"an undated child takes the first of them", entry("inbook", "c", {}),
            entry("book", "p", {{"year", "2000"}, {"date", "1999"}}), "year=2000"},
        {"the child's booktitle stays", entry("inproceedings", "c", {{"booktitle", "B"}}),
            entry("proceedings", "p", {{"title", "T"}, {"editor", "E"}}), "booktitle=B editor=E"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(fieldsOf(withInherited(row.child, row.parent)), row.fields) << row.why;
    }
}

TEST(CrossrefInheritance, SaysWhereTheChainBreaks)
{
    const std::map<std::string, Entry> known{{"b", entry("book", "b", {{"crossref", "C"}, {"year", "1"}})},
        {"c", entry("mvbook", "c", {{"crossref", "a"}, {"publisher", "P"}})},
        {"d", entry("book", "d", {{"crossref", "gone"}})}};
    const EntryLookup find = [&](std::string_view key) -> const Entry * {
        std::string lower(key);
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        const auto found = known.find(lower);
        return found == known.end() ? nullptr : &found->second;
    };
    const Resolved cycle = resolveCrossrefs(entry("inbook", "a", {{"crossref", "b"}}), find);
    EXPECT_EQ(cycle.problem, "is in a crossref cycle: a → b → C → a");
    EXPECT_EQ(fieldsOf(cycle.entry), "crossref=b year=1 publisher=P")
        << "every entry before the cycle closes";
    EXPECT_EQ(resolveCrossrefs(entry("inbook", "a", {{"crossref", "A"}}), find).problem,
        "names itself as its crossref");
    EXPECT_EQ(resolveCrossrefs(entry("inbook", "x", {{"crossref", "d"}}), find).problem,
        "names crossref 'd', which names crossref 'gone', which is not in the file");
}

} // namespace
} // namespace bibsources
