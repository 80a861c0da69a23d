#include "tidy_record.h"

#include "fields.h"

#include <gtest/gtest.h>

#include <regex>

namespace bibsources {
namespace {

struct FieldRow {
    const char *why;
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
    const FieldRow rows[] = {
        {"journal", "article", {{"journal", "J. Geo"}}, "<b:JournalName>J. Geo</b:JournalName>"},
        {"journaltitle", "article", {{"journaltitle", "J. Geo"}}, "<b:JournalName>J. Geo</b:JournalName>"},
        {"booktitle of a section", "incollection", {{"booktitle", "B"}}, "<b:BookTitle>B</b:BookTitle>",
            "<b:JournalName>"},
        {"booktitle of a paper", "inproceedings", {{"booktitle", "Proc"}},
            "<b:ConferenceName>Proc</b:ConferenceName>", "<b:BookTitle>"},
        {"eventtitle leaves booktitle its own element", "inproceedings",
            {{"booktitle", "Proc"}, {"eventtitle", "Conf"}},
            "<b:BookTitle>Proc</b:BookTitle>\n<b:ConferenceName>Conf</b:ConferenceName>"},
        {"an article's number", "article", {{"number", "3"}}, "<b:Issue>3</b:Issue>", "<b:StandardNumber>"},
        {"a patent's number", "patent", {{"number", "US 1"}}, "<b:PatentNumber>US 1</b:PatentNumber>",
            "<b:Issue>"},
        {"a report's number", "techreport", {{"number", "TR-7"}},
            "<b:StandardNumber>TR-7</b:StandardNumber>"},
        {"isbn when the number is free", "book", {{"isbn", "978-3"}},
            "<b:StandardNumber>978-3</b:StandardNumber>"},
        {"the number before the isbn", "book", {{"isbn", "978-3"}, {"number", "4"}},
            "<b:StandardNumber>4</b:StandardNumber>", "978-3"},
        {"issn of an article", "article", {{"issn", "1234-5678"}, {"number", "2"}},
            "<b:StandardNumber>1234-5678</b:StandardNumber>"},
        {"month name from the macro", "article", {{"month", "March"}}, "<b:Month>March</b:Month>"},
        {"month abbreviation with ~ and .", "article", {{"month", "~mar."}}, "<b:Month>March</b:Month>"},
        {"month number", "article", {{"month", "03"}}, "<b:Month>March</b:Month>"},
        {"no month is kept with the note", "article", {{"month", "Spring"}, {"note", "N"}},
            "<b:Comments>N; Spring</b:Comments>", "<b:Month>"},
        {"day", "article", {{"day", "7"}}, "<b:Day>7</b:Day>"},
        {"date range: its start", "article", {{"date", "2001-04-05/2002"}},
            "<b:Year>2001</b:Year>\n<b:Month>April</b:Month>\n<b:Day>5</b:Day>"},
        {"year before date", "article", {{"date", "2001-04"}, {"year", "1999"}},
            "<b:Year>1999</b:Year>\n<b:Month>April</b:Month>"},
        {"urldate", "online", {{"urldate", "2020-01-02"}},
            "<b:YearAccessed>2020</b:YearAccessed>\n<b:MonthAccessed>January</b:MonthAccessed>\n"
            "<b:DayAccessed>2</b:DayAccessed>"},
        {"lastchecked that is no date", "online", {{"lastchecked", "3 May 2010"}},
            "<b:YearAccessed>3 May 2010</b:YearAccessed>"},
        {"doi read verbatim", "article", {{"doi", "10.1000/a\\_b--c"}}, "<b:DOI>10.1000/a_b--c</b:DOI>"},
        {"url read verbatim", "online", {{"url", "\\url{http://x.org/~me/a--b}"}},
            "<b:URL>http://x.org/~me/a--b</b:URL>"},
        {"howpublished as the url", "misc", {{"howpublished", "\\url{http://x.org}"}},
            "<b:URL>http://x.org</b:URL>", "<b:Publisher>"},
        {"howpublished as the publisher", "booklet", {{"howpublished", "Privately"}},
            "<b:Publisher>Privately</b:Publisher>"},
        {"shorttitle", "book", {{"shorttitle", "Short"}}, "<b:ShortTitle>Short</b:ShortTitle>"},
        {"subtitle", "book", {{"title", "Main"}, {"subtitle", "Sub"}}, "<b:Title>Main: Sub</b:Title>"},
        {"subtitle after a question", "book", {{"title", "Why?"}, {"subtitle", "Sub"}},
            "<b:Title>Why? Sub</b:Title>"},
        {"address", "book", {{"address", "Oslo"}}, "<b:City>Oslo</b:City>"},
        {"location", "book", {{"location", "Oslo"}}, "<b:City>Oslo</b:City>"},
        {"school", "phdthesis", {{"school", "MIT"}}, "<b:Institution>MIT</b:Institution>"},
        {"institution", "techreport", {{"institution", "CERN"}}, "<b:Institution>CERN</b:Institution>"},
        {"organization without publisher", "manual", {{"organization", "ACME"}},
            "<b:Publisher>ACME</b:Publisher>"},
        {"publisher before organization", "manual", {{"organization", "ACME"}, {"publisher", "P"}},
            "<b:Publisher>P</b:Publisher>", "ACME"},
        {"note", "misc", {{"note", "See it"}}, "<b:Comments>See it</b:Comments>"},
        {"chapter", "inbook", {{"chapter", "4"}}, "<b:ChapterNumber>4</b:ChapterNumber>"},
        {"volumes", "mvbook", {{"volumes", "3"}}, "<b:NumberVolumes>3</b:NumberVolumes>"},
        {"thesis kind from the entry type", "phdthesis", {}, "<b:ThesisType>PhD Thesis</b:ThesisType>"},
        {"thesis kind from a biblatex key", "thesis", {{"type", "mathesis"}},
            "<b:ThesisType>Master's Thesis</b:ThesisType>"},
        {"type of a report", "report", {{"type", "White paper"}}, "<b:Type>White paper</b:Type>",
            "<b:ThesisType>"},
        {"pages with a hyphen", "article", {{"pages", "12-15"}}, "<b:Pages>12–15</b:Pages>"},
        {"pages with two hyphens", "article", {{"pages", "12--15"}}, "<b:Pages>12–15</b:Pages>"},
        {"TeX read and escaped", "article", {{"title", "{The} {\\'E}cole \\& <Co>"}},
            "<b:Title>The École &amp; &lt;Co&gt;</b:Title>"},
        {"no empty element", "article", {{"title", "{}"}, {"journal", " "}},
            "<b:Guid>{G}</b:Guid>\n</b:Source>"},
        {"no LCID", "article", {}, "<b:SourceType>JournalArticle</b:SourceType>", "<b:LCID>"},
    };
    for (const FieldRow &row : rows) {
        const std::string record = recordOf(row.entryType, row.fields);
        EXPECT_NE(record.find(row.writes), std::string::npos) << row.why << "\n" << record;
        EXPECT_EQ(record.find(row.lacks), std::string::npos) << row.why << "\n" << record;
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

TEST(TidyRecord, PutsTheElementsInTheWordProcessorsOrder)
{
    Entry entry{"article", "key", {}, 1};
    for (const char *name : {"note", "urldate", "doi", "url", "pages", "number", "volume", "publisher",
             "address", "day", "month", "year", "journal", "title", "shorttitle"}) {
        entry.fields.push_back(
            Field{name, name == std::string("urldate") ? "2020-01-02" : "1", std::nullopt});
    }
    entry.fields.push_back(Field{"author", "A", std::vector<Person>{Person{{"A"}, {}, {}, {}}}});
    const std::string record = tidyRecord(entry, "key", "{G}");
    std::string order;
    const std::regex element("\n<b:([A-Za-z]+)>[^\n]");
    for (auto it = std::sregex_iterator(record.begin(), record.end(), element); it != std::sregex_iterator();
         ++it) {
        order += (*it)[1].str() + " ";
    }
    EXPECT_EQ(order,
        "Tag SourceType Guid Last Title JournalName Year Month Day City Publisher Volume Issue Pages URL DOI "
        "YearAccessed MonthAccessed DayAccessed ShortTitle Comments ");
}

} // namespace
} // namespace bibsources
