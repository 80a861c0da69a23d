#include "tidy_record.h"

#include "field_table.h"
#include "text.h"
#include "tidy_dates.h"
#include "tidy_names.h"
#include "tidy_text.h"
#include "tidy_types.h"

namespace bibsources {

namespace {

std::string plainField(const Entry &entry, FieldKey name)
{
    const std::string_view raw = fieldText(entry, name);
    return raw.empty() ? std::string() : plainText(raw);
}

std::string firstPlainField(const Entry &entry, std::initializer_list<FieldKey> names)
{
    for (FieldKey name : names) {
        if (std::string text = plainField(entry, name); !text.empty()) {
            return text;
        }
    }
    return {};
}

std::string titleOf(const Entry &entry)
{
    std::string title = plainField(entry, "title");
    const std::string subtitle = plainField(entry, "subtitle");
    if (title.empty() || subtitle.empty()) {
        return title.empty() ? subtitle : title;
    }
    // "Why Not? A Study" needs no colon after the question mark.
    const bool endsSentence = std::string_view(".?!:").find(title.back()) != std::string_view::npos;
    return title + (endsSentence ? " " : ": ") + subtitle;
}

void appendContainer(std::string &out, const Entry &entry, std::string_view sourceType)
{
    appendTidyElement(out, "JournalName", firstPlainField(entry, {"journal", "journaltitle"}));
    const std::string bookTitle = plainField(entry, "booktitle");
    const std::string eventTitle = plainField(entry, "eventtitle");
    if (sourceType == "ConferenceProceedings" && eventTitle.empty()) {
        appendTidyElement(out, "ConferenceName", bookTitle);
        return;
    }
    appendTidyElement(out, "BookTitle", bookTitle);
    appendTidyElement(out, "ConferenceName", eventTitle);
}

struct Dates {
    std::string year;
    std::string month; // a full English month name, or empty
    std::string day;
    std::string season; // a month field that names no month ("Spring"), as written
};

// The year, month and day fields, each filled from the biblatex date when
// the entry lacks it.
Dates datesOf(const Entry &entry)
{
    const DateParts date = parseDate(decodeParserText(fieldText(entry, "date"))).value_or(DateParts{});
    Dates dates{plainField(entry, "year"), {}, plainField(entry, "day"), {}};
    const std::string_view month = fieldText(entry, "month");
    if (!month.empty()) {
        if (std::optional<std::string> name = monthName(decodeParserText(month))) {
            dates.month = std::move(*name);
        } else {
            dates.season = plainText(month);
        }
    }
    dates.year = dates.year.empty() ? date.year : dates.year;
    dates.month = dates.month.empty() ? date.month : dates.month;
    dates.day = dates.day.empty() ? date.day : dates.day;
    return dates;
}

// A month field that names no month is kept with the note rather than in
// b:Month: importers read b:Month as a month and give up on the whole file
// when it is none.
std::string commentsOf(const Entry &entry, const Dates &dates)
{
    std::string comments = plainField(entry, "note");
    if (!dates.season.empty()) {
        comments += (comments.empty() ? "" : "; ") + dates.season;
    }
    return comments;
}

void appendAccessed(std::string &out, const Entry &entry)
{
    std::string_view raw = fieldText(entry, "urldate");
    raw = raw.empty() ? fieldText(entry, "lastchecked") : raw;
    if (raw.empty()) {
        return;
    }
    // A date that is no ISO date ("visited 3 May 2010") is kept as written
    // rather than lost.
    const std::optional<DateParts> date = parseDate(decodeParserText(raw));
    if (!date) {
        appendTidyElement(out, "YearAccessed", plainText(raw));
        return;
    }
    appendTidyElement(out, "YearAccessed", date->year);
    appendTidyElement(out, "MonthAccessed", date->month);
    appendTidyElement(out, "DayAccessed", date->day);
}

// Page ranges read "12–15" whichever way they were typed: every run of
// hyphens becomes the "--" that the TeX reading turns into an en dash.
std::string pagesOf(const Entry &entry)
{
    const std::string_view raw = fieldText(entry, "pages");
    std::string dashed;
    dashed.reserve(raw.size() + 4);
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '-') {
            dashed += raw[i];
            continue;
        }
        while (i + 1 < raw.size() && raw[i + 1] == '-') {
            ++i;
        }
        dashed += "--";
    }
    return plainText(dashed);
}

bool looksLikeAddress(std::string_view text)
{
    return text.rfind("\\url{", 0) == 0 || text.rfind("http://", 0) == 0 || text.rfind("https://", 0) == 0;
}

struct Numbers {
    std::string issue;
    std::string patent;
    std::string standard;
};

// An article's number is its issue and a patent's its patent number; any
// other number (a report's, a standard's) is the StandardNumber, which an
// ISBN or ISSN takes when it is free.
Numbers numbersOf(const Entry &entry, std::string_view sourceType)
{
    Numbers numbers;
    std::string number = plainField(entry, "number");
    if (sourceType == "JournalArticle" || sourceType == "ArticleInAPeriodical") {
        numbers.issue = std::move(number);
    } else if (sourceType == "Patent") {
        numbers.patent = std::move(number);
    } else {
        numbers.standard = std::move(number);
    }
    if (numbers.standard.empty()) {
        numbers.standard = firstPlainField(entry, {"isbn", "issn"});
    }
    return numbers;
}

// biblatex writes a thesis's or report's kind as a localisation key.
std::string kindText(std::string type)
{
    static constexpr std::pair<std::string_view, std::string_view> keys[] = {
        {"phdthesis", "PhD Thesis"},
        {"mathesis", "Master's Thesis"},
        {"mastersthesis", "Master's Thesis"},
        {"candthesis", "Candidate Thesis"},
        {"techreport", "Technical Report"},
        {"resreport", "Research Report"},
    };
    for (const auto &[key, text] : keys) {
        if (type == key) {
            return std::string(text);
        }
    }
    return type;
}

void appendPublishing(std::string &out, const Entry &entry, const Dates &dates, const Numbers &numbers)
{
    appendTidyElement(out, "Year", dates.year);
    appendTidyElement(out, "Month", dates.month);
    appendTidyElement(out, "Day", dates.day);
    appendTidyElement(out, "City", firstPlainField(entry, {"address", "location"}));
    const std::string_view howPublished = fieldText(entry, "howpublished");
    std::string publisher = firstPlainField(entry, {"publisher", "organization"});
    if (publisher.empty() && !looksLikeAddress(howPublished)) {
        publisher = plainField(entry, "howpublished");
    }
    appendTidyElement(out, "Publisher", publisher);
    appendTidyElement(out, "Volume", plainField(entry, "volume"));
    appendTidyElement(out, "Issue", numbers.issue);
    appendTidyElement(out, "Pages", pagesOf(entry));
    std::string_view url = fieldText(entry, "url");
    url = url.empty() && looksLikeAddress(howPublished) ? howPublished : url;
    appendTidyElement(out, "URL", verbatimText(url));
    appendTidyElement(out, "DOI", verbatimText(fieldText(entry, "doi")));
    appendAccessed(out, entry);
}

void appendRest(std::string &out, const Entry &entry, const Dates &dates, const Numbers &numbers)
{
    appendTidyElement(out, "ShortTitle", plainField(entry, "shorttitle"));
    appendTidyElement(out, "Edition", plainField(entry, "edition"));
    appendTidyElement(out, "Institution", firstPlainField(entry, {"school", "institution"}));
    std::string kind = kindText(plainField(entry, "type"));
    if (isThesisType(entry.type)) {
        appendTidyElement(out, "ThesisType", kind.empty() ? std::string(thesisKind(entry.type)) : kind);
    } else {
        appendTidyElement(out, "Type", kind);
    }
    appendTidyElement(out, "ChapterNumber", plainField(entry, "chapter"));
    appendTidyElement(out, "NumberVolumes", plainField(entry, "volumes"));
    appendTidyElement(out, "StandardNumber", numbers.standard);
    appendTidyElement(out, "PatentNumber", numbers.patent);
    appendTidyElement(out, "Comments", commentsOf(entry, dates));
}

} // namespace

std::string tidyRecord(const Entry &entry, std::string_view tag, std::string_view guid)
{
    const std::string_view sourceType = tidySourceType(entry.type);
    std::string out;
    out.reserve(512);
    out += "<b:Source>\n";
    // A key is the parser's bytes like any field: Latin-1 in an old file.
    appendTidyElement(out, "Tag", stripXmlForbidden(decodeParserText(tag)));
    appendTidyElement(out, "SourceType", sourceType);
    appendTidyElement(out, "Guid", guid);
    out += tidyContributors(entry.fields);
    appendTidyElement(out, "Title", titleOf(entry));
    appendContainer(out, entry, sourceType);
    const Dates dates = datesOf(entry);
    const Numbers numbers = numbersOf(entry, sourceType);
    appendPublishing(out, entry, dates, numbers);
    appendRest(out, entry, dates, numbers);
    out += "</b:Source>\n";
    return out;
}

std::string entryYear(const Entry &entry)
{
    return datesOf(entry).year;
}

} // namespace bibsources
