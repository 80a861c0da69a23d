#include "tidy_record.h"

#include "fields.h"
#include "tidy_types.h"

#include <gtest/gtest.h>

#include <set>

namespace bibsources {
namespace {

struct FieldRow {
    const char *entryType;
    std::vector<std::pair<const char *, const char *>> fields;
    const char *writes; // a part of the record
    const char *lacks = "<b:Number>";
};

std::string recordOf(const char *entryType, const std::vector<std::pair<const char *, const char *>> &fields)
{
    Entry entry{entryType, "k", {}, 1};
    for (const auto &[name, text] : fields) {
        entry.fields.push_back(Field{name, text, std::nullopt});
    }
    return tidyRecord(entry, "k", "{G}");
}

TEST(TidyRecord, WritesEachFieldWhereTheFormatHasIt)
{
    const FieldRow rows[] = {{"article", {{"journal", "J. Geo"}}, "<b:JournalName>J. Geo</b:JournalName>"},
        {"article", {{"journaltitle", "J. Geo"}}, "<b:JournalName>J. Geo</b:JournalName>"},
        {"incollection", {{"booktitle", "B"}}, "<b:BookTitle>B</b:BookTitle>", "<b:JournalName>"},
        {"inproceedings", {{"booktitle", "Proc"}}, "<b:ConferenceName>Proc</b:ConferenceName>",
            "<b:BookTitle>"},
        {"inproceedings", {{"booktitle", "Proc"}, {"eventtitle", "Conf"}},
            "<b:BookTitle>Proc</b:BookTitle>\n<b:ConferenceName>Conf</b:ConferenceName>"},
        {"article", {{"number", "3"}}, "<b:Issue>3</b:Issue>", "<b:StandardNumber>"},
        {"patent", {{"number", "US 1"}}, "<b:PatentNumber>US 1</b:PatentNumber>", "<b:Issue>"},
        {"techreport", {{"number", "TR-7"}}, "<b:StandardNumber>TR-7</b:StandardNumber>"},
        {"book", {{"isbn", "978-3"}}, "<b:StandardNumber>978-3</b:StandardNumber>"},
        {"book", {{"isbn", "978-3"}, {"number", "4"}}, "<b:StandardNumber>4</b:StandardNumber>", "978-3"},
        {"article", {{"issn", "1234-5678"}, {"number", "2"}},
            "<b:StandardNumber>1234-5678</b:StandardNumber>"},
        {"article", {{"month", "March"}}, "<b:Month>March</b:Month>"},
        {"article", {{"month", "~mar."}}, "<b:Month>March</b:Month>"},
        {"article", {{"month", "03"}}, "<b:Month>March</b:Month>"},
        {"article", {{"month", "Spring"}, {"note", "N"}}, "<b:Comments>N; Spring</b:Comments>", "<b:Month>"},
        {"article", {{"day", "7"}}, "<b:Day>7</b:Day>"},
        {"article", {{"date", "2001-04-05/2002"}},
            "<b:Year>2001</b:Year>\n<b:Month>April</b:Month>\n<b:Day>5</b:Day>"},
        {"article", {{"date", "2001-04"}, {"year", "1999"}},
            "<b:Year>1999</b:Year>\n<b:Month>April</b:Month>"},
        {"online", {{"urldate", "2020-01-02"}},
            "<b:YearAccessed>2020</b:YearAccessed>\n<b:MonthAccessed>January</b:MonthAccessed>\n"
            "<b:DayAccessed>2</b:DayAccessed>"},
        {"online", {{"lastchecked", "3 May 2010"}}, "<b:YearAccessed>3 May 2010</b:YearAccessed>"},
        {"article", {{"doi", "10.1000/a\\_b--c"}}, "<b:DOI>10.1000/a_b--c</b:DOI>"},
        {"online", {{"url", "\\url{http://x.org/~me/a--b}"}}, "<b:URL>http://x.org/~me/a--b</b:URL>"},
        {"misc", {{"howpublished", "\\url{http://x.org}"}}, "<b:URL>http://x.org</b:URL>", "<b:Publisher>"},
        {"booklet", {{"howpublished", "Privately"}}, "<b:Publisher>Privately</b:Publisher>"},
        {"book", {{"shorttitle", "Short"}}, "<b:ShortTitle>Short</b:ShortTitle>"},
        {"book", {{"title", "Main"}, {"subtitle", "Sub"}}, "<b:Title>Main: Sub</b:Title>"},
        {"book", {{"title", "Why?"}, {"subtitle", "Sub"}}, "<b:Title>Why? Sub</b:Title>"},
        {"book", {{"address", "Oslo"}}, "<b:City>Oslo</b:City>"},
        {"book", {{"location", "Oslo"}}, "<b:City>Oslo</b:City>"},
        {"phdthesis", {{"school", "MIT"}}, "<b:Institution>MIT</b:Institution>"},
        {"techreport", {{"institution", "CERN"}}, "<b:Institution>CERN</b:Institution>"},
        {"manual", {{"organization", "ACME"}}, "<b:Publisher>ACME</b:Publisher>"},
        {"manual", {{"organization", "ACME"}, {"publisher", "P"}}, "<b:Publisher>P</b:Publisher>", "ACME"},
        {"misc", {{"note", "See it"}}, "<b:Comments>See it</b:Comments>"},
        {"inbook", {{"chapter", "4"}}, "<b:ChapterNumber>4</b:ChapterNumber>"},
        {"mvbook", {{"volumes", "3"}}, "<b:NumberVolumes>3</b:NumberVolumes>"},
        {"phdthesis", {}, "<b:ThesisType>PhD Thesis</b:ThesisType>"},
        {"thesis", {{"type", "mathesis"}}, "<b:ThesisType>Master's Thesis</b:ThesisType>"},
        {"report", {{"type", "White paper"}}, "<b:Type>White paper</b:Type>", "<b:ThesisType>"},
        {"article", {{"pages", "12-15"}}, "<b:Pages>12–15</b:Pages>"},
        {"article", {{"pages", "12--15"}}, "<b:Pages>12–15</b:Pages>"},
        {"article", {{"title", "{The} {\\'E}cole \\& <Co>"}},
            "<b:Title>The École &amp; &lt;Co&gt;</b:Title>"},
        {"article", {{"title", "{}"}, {"journal", " "}}, "<b:Guid>{G}</b:Guid>\n</b:Source>"},
        {"article", {}, "<b:SourceType>JournalArticle</b:SourceType>", "<b:LCID>"}};
    for (const FieldRow &row : rows) {
        const std::string record = recordOf(row.entryType, row.fields);
        EXPECT_NE(record.find(row.writes), std::string::npos) << record;
        EXPECT_EQ(record.find(row.lacks), std::string::npos) << record;
    }
}

// The parser helper hands over only the fields isMappedField names: a field
// the tidy mapping reads but the list forgot would silently vanish, and one
// listed for it alone but never read would be carried for nothing. A crossref
// writes nothing itself: the writer follows it to the parent.
TEST(TidyRecord, ReadsExactlyTheFieldsTheHelperHandsOverForIt)
{
    const auto writes = [](std::string_view name) {
        for (const char *type :
            {"article", "inproceedings", "inbook", "book", "misc", "phdthesis", "patent"}) {
            const Entry bare{type, "k", {}, 1};
            const Entry withField{type, "k", {Field{std::string(name), "2001", std::vector<Person>{}}}, 1};
            if (tidyRecord(withField, "k", "{G}") != tidyRecord(bare, "k", "{G}")) {
                return true;
            }
        }
        return false;
    };
    for (const char *name : {"title", "journal", "booktitle", "publisher", "pages", "month", "year", "volume",
             "number", "location", "address", "edition", "institution", "school", "url", "lastchecked",
             "note", "abstract", "keywords", "doi", "isbn", "Title", "type", "howpublished", "series",
             "chapter", "organization", "key", "journaltitle", "subtitle", "shorttitle", "issn", "day",
             "date", "urldate", "volumes", "eventtitle", "file"}) {
        EXPECT_EQ(writes(name), isMappedField(name)) << name;
    }
    for (std::string_view name : tidyOnlyFields()) {
        EXPECT_TRUE(writes(name) || name == "crossref") << name;
    }
}

TEST(TidyRecord, WritesAKeyAsWellFormedText)
{
    const Entry entry{"misc", "K\xe9y&\x01", {}, 1};
    EXPECT_NE(tidyRecord(entry, entry.key, "{G}").find("<b:Tag>Kéy&amp;</b:Tag>"), std::string::npos);
}

// The type table, and that every value is one of the format's seventeen.
TEST(TidyType, MapsToOneOfTheFormatsTypes)
{
    const std::set<std::string_view> allowed(std::begin(allSourceTypes), std::end(allSourceTypes));
    EXPECT_EQ(allowed.size(), 17u);
    const char *rows[][2] = {{"article", "JournalArticle"},
        {"periodical", "ArticleInAPeriodical"}, // a whole issue, not an article of one
        {"booklet", "Book"}, // not a section, as in the plain mapping
        {"manual", "Book"}, {"mvbook", "Book"}, {"collection", "Book"}, {"reference", "Book"},
        {"incollection", "BookSection"}, {"bookinbook", "BookSection"}, {"inreference", "BookSection"},
        {"conference", "ConferenceProceedings"}, // BibTeX's old name for inproceedings
        {"proceedings", "ConferenceProceedings"}, {"techreport", "Report"}, {"report", "Report"},
        {"phdthesis", "Report"}, {"mastersthesis", "Report"}, {"thesis", "Report"},
        {"online", "InternetSite"}, {"www", "InternetSite"}, {"electronic", "InternetSite"},
        {"patent", "Patent"}, {"software", "ElectronicSource"}, {"audio", "SoundRecording"},
        {"music", "SoundRecording"}, {"video", "Film"}, {"movie", "Film"}, {"artwork", "Art"},
        {"jurisdiction", "Case"}, {"InProceedings", "ConferenceProceedings"}, // case does not matter
        {"ARTICLE", "JournalArticle"}, {"misc", "Misc"}, {"unpublished", "Misc"}, {"string", "Misc"},
        {"dataset", "ElectronicSource"}, {"customa", "Misc"}, // anything unknown
        {"articles", "Misc"}, // whole words only
        {"", "Misc"}};
    for (const auto &[entryType, sourceType] : rows) {
        EXPECT_EQ(tidySourceType(entryType), std::string_view(sourceType)) << entryType;
        EXPECT_TRUE(allowed.count(tidySourceType(entryType))) << entryType;
    }
    EXPECT_EQ(thesisKind("phdthesis"), "PhD Thesis");
    EXPECT_EQ(thesisKind("MastersThesis"), "Master's Thesis");
    EXPECT_EQ(thesisKind("thesis"), ""); // its type field says which
    EXPECT_TRUE(isThesisType("thesis"));
    EXPECT_FALSE(isThesisType("techreport"));
}

} // namespace
} // namespace bibsources
