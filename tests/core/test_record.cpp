#include "record.h"
#include "source_type.h"
#include "tidy_record.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

// Every mapped type is in the golden documents; these are the near misses.
TEST(SourceType, MapsOnlyExactNames)
{
    const char *rows[][2] = {
        {"Article", "Article"}, // case-sensitive
        {"article ", "article "}, // nothing trimmed
        {"incollection", "incollection"},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(convertPaperType(row[0]), row[1]) << row[0];
    }
}

// The parser side hands over only the fields isMappedField names; a field
// either mapping would write but the list forgot would silently vanish. A
// crossref writes nothing itself: the tidy mapping reads it to find the parent.
TEST(MappedFields, AreExactlyTheFieldsARecordWrites)
{
    const char *names[] = {"author", "editor", "translator", "title", "journal", "booktitle", "publisher",
        "pages", "month", "year", "volume", "number", "location", "address", "edition", "institution",
        "school", "url", "lastchecked", "note", "abstract", "keywords", "doi", "isbn", "Title", "type",
        "howpublished", "series", "chapter", "organization", "key", "crossref", "journaltitle", "subtitle",
        "shorttitle", "issn", "day", "date", "urldate", "volumes", "eventtitle", "file"};
    const char *types[] = {"article", "inproceedings", "inbook", "book", "misc", "phdthesis"};
    for (const char *name : names) {
        bool writes = std::string_view(name) == "crossref";
        for (const char *type : types) {
            const Entry bare{type, "k", {}, 1};
            const Entry withField{type, "k", {Field{name, "2001", std::vector<Person>{}}}, 1};
            writes = writes || sourceRecord(withField) != sourceRecord(bare)
                || tidyRecord(withField, "k", "{G}") != tidyRecord(bare, "k", "{G}");
        }
        EXPECT_EQ(isMappedField(name), writes) << name;
    }
}

} // namespace
} // namespace bibsources
