#include "tidy_record.h"

#include "field_table.h"
#include "text.h"
#include "tidy_dates.h"
#include "tidy_months.h"
#include "tidy_names.h"
#include "tidy_text.h"
#include "tidy_types.h"

#include <optional>

namespace bibsources {

namespace {

std::string plainField(const Entry &entry, FieldKey name)
{
    const std::string_view raw = fieldText(entry, name);
    return raw.empty() ? std::string() : plainText(raw);
}

std::string textAs(std::string_view raw, TidyText text)
{
    return text == TidyText::Verbatim ? verbatimText(raw) : plainText(raw);
}

// "Title: Subtitle. Addon", without a colon or full stop after a title that
// already ends a sentence ("Why Not? A Study").
std::string joinedTitle(std::string title, const std::string &subtitle, const std::string &addon)
{
    for (const auto &[part, mark] : {std::pair{&subtitle, ": "}, std::pair{&addon, ". "}}) {
        if (part->empty()) {
            continue;
        }
        if (title.empty()) {
            title = *part;
            continue;
        }
        const bool endsSentence = std::string_view(".?!:").find(title.back()) != std::string_view::npos;
        title += (endsSentence ? " " : mark) + *part;
    }
    return title;
}

struct Dates {
    std::string year;
    std::string month; // a full English name, or empty
    std::string day;
    std::string comment; // what names no single month ("Spring", "Jan/Feb"), as written
    bool fromDate = false; // the biblatex date gave them, not year, month and day
    FieldKey dayFrom = "day"; // the field the day came from
    // The field the comment came from; none when both the date and the
    // month field gave one.
    std::optional<FieldKey> commentFrom = std::nullopt;
};

// Page ranges read "12–15" whichever way they were typed: every run of
// hyphens becomes the "--" that the TeX reading turns into an en dash.
std::string pagesText(std::string_view raw)
{
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

// The address a howpublished field gives: all of it when it is one
// ("\url{...}", "https://..."), the link of "\href{address}{text}", else
// nothing.
std::string_view addressIn(std::string_view text)
{
    if (text.starts_with("\\url{") || text.starts_with("http://") || text.starts_with("https://")) {
        return text;
    }
    constexpr std::string_view href = "\\href";
    if (!text.starts_with(href)) {
        return {};
    }
    const size_t open = text.find_first_not_of(" \t\n", href.size());
    const size_t close = open == std::string_view::npos ? open : text.find('}', open);
    if (close == std::string_view::npos || text[open] != '{') {
        return {};
    }
    return text.substr(open + 1, close - open - 1);
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

// Writes one record, and, when asked, notes where each field went.
// An element's rows as the keys of their fields, for the loops that walk
// keys. (A range view would do, but not every compiler the core is built
// with takes one over a span.)
struct RowKeys {
    struct Iterator {
        const FieldRow *const *at;

        FieldKey operator*() const { return FieldKey::of(**at); }
        Iterator &operator++()
        {
            ++at;
            return *this;
        }
        bool operator==(const Iterator &) const = default;
    };

    std::span<const FieldRow *const> rows;

    Iterator begin() const { return {rows.data()}; }
    Iterator end() const { return {rows.data() + rows.size()}; }
};

class RecordWriter {
public:
    RecordWriter(const Entry &entry, bool withUses)
        : entry(entry)
        , sourceType(tidySourceType(entry.type))
        , accounting(withUses)
    {
        record.text.reserve(512);
    }

    TidyRecord write(std::string_view tag, std::string_view guid);

private:
    // The first of `names` the entry gives with text, and that text read
    // as `text` says; the others given with text are noted as passed over
    // for it. The first of `names` when none has text.
    template <typename FieldKeys>
    std::pair<FieldKey, std::string> firstGiven(const FieldKeys &names, TidyText text);
    std::pair<FieldKey, std::string> firstOf(std::initializer_list<FieldKey> names)
    {
        return firstGiven(names, TidyText::Plain);
    }
    // Appends the element and notes every field of `from` that fed it.
    void put(std::string_view element, std::string_view text, std::initializer_list<FieldKey> from);
    // Appends an element the table fills directly from the first of its rows.
    void putDirect(DirectElement element);
    void nowhere(FieldKey field, std::string note);

    Dates dates();
    Dates datesFromDate(std::string_view raw, const DateParts &date);
    Dates datesFromFields();
    void appendContainer();
    void appendPublishing(const Dates &dates);
    void appendIssue();
    void appendNumbers();
    bool numberIsIssue() const
    {
        return sourceType == "JournalArticle" || sourceType == "ArticleInAPeriodical";
    }
    void appendAccessed();
    void appendRest(const Dates &dates);
    void noteRepeatedFields();

    const Entry &entry;
    std::string_view sourceType;
    bool accounting;
    FieldAccount account;
    TidyRecord record;
};

template <typename FieldKeys>
std::pair<FieldKey, std::string> RecordWriter::firstGiven(const FieldKeys &names, TidyText text)
{
    std::pair<FieldKey, std::string> chosen{*names.begin(), {}};
    for (const FieldKey name : names) {
        const std::string_view raw = fieldText(entry, name);
        if (raw.empty()) {
            continue;
        }
        if (chosen.second.empty()) {
            chosen.first = name;
            chosen.second = textAs(raw, text);
        } else if (accounting) {
            nowhere(name, "'" + std::string(chosen.first.name()) + "' is used instead");
        }
    }
    return chosen;
}

void RecordWriter::put(std::string_view element, std::string_view text, std::initializer_list<FieldKey> from)
{
    appendTidyElement(record.text, element, text);
    if (!accounting || text.empty()) {
        return;
    }
    const std::string named = "b:" + std::string(element);
    for (const FieldKey field : from) {
        if (!fieldText(entry, field).empty()) {
            account.wentTo(field.name(), named, text);
        }
    }
}

void RecordWriter::putDirect(DirectElement element)
{
    const auto [field, text] = firstGiven(RowKeys{element.rows()}, element.text());
    put(element.name(), text, {field});
}

void RecordWriter::nowhere(FieldKey field, std::string note)
{
    if (accounting) {
        account.wentNowhere(field.name(), std::move(note));
    }
}

// A date wins whenever it holds a year: mixing its month with another
// year's would make a date that is in neither.
Dates RecordWriter::dates()
{
    const std::string_view raw = fieldText(entry, "date");
    if (raw.empty()) {
        return datesFromFields();
    }
    if (const std::optional<DateParts> date = parseDate(plainText(raw))) {
        return datesFromDate(raw, *date);
    }
    Dates fromFields = datesFromFields();
    const std::string written = plainText(raw);
    record.problems.push_back("has the date '" + written + "', which is no date; kept in the comments");
    fromFields.comment += (fromFields.comment.empty() ? "" : "; ") + written;
    fromFields.commentFrom
        = fromFields.commentFrom ? std::nullopt : std::optional<FieldKey>(FieldKey("date"));
    return fromFields;
}

Dates RecordWriter::datesFromDate(std::string_view raw, const DateParts &date)
{
    if (!date.problem.empty()) {
        record.problems.push_back(
            "has the date '" + plainText(raw) + "': " + date.problem + "; kept what comes before");
    }
    for (const FieldKey field : std::initializer_list<FieldKey>{"year", "month", "day"}) {
        if (!fieldText(entry, field).empty()) {
            nowhere(field, "the date field gives the date");
        }
    }
    Dates dates{date.year, date.month, date.day, date.season, true};
    dates.dayFrom = "date";
    dates.commentFrom = FieldKey("date");
    return dates;
}

Dates RecordWriter::datesFromFields()
{
    Dates dates{plainField(entry, "year"), {}, plainField(entry, "day"), {}};
    const std::string_view raw = fieldText(entry, "month");
    if (raw.empty()) {
        return dates;
    }
    const std::string month = plainText(raw);
    const MonthReading reading = readMonth(month);
    if (reading.placeholder) {
        nowhere("month", "a placeholder");
    } else if (reading.month.empty()) {
        // A month field that names no single month is kept with the note:
        // importers read b:Month as a month and give up on the whole file
        // when it is a season or a range.
        dates.comment = month;
        dates.commentFrom = FieldKey("month");
    } else {
        dates.month = reading.month;
        if (dates.day.empty() && !reading.day.empty()) {
            dates.day = reading.day;
            dates.dayFrom = "month";
        }
    }
    return dates;
}

void RecordWriter::appendContainer()
{
    const auto [journalField, journal] = firstOf({"journal", "journaltitle"});
    put("JournalName", joinedTitle(journal, plainField(entry, "journalsubtitle"), {}),
        {journalField, "journalsubtitle"});
    const std::string bookTitle = joinedTitle(plainField(entry, "booktitle"),
        plainField(entry, "booksubtitle"), plainField(entry, "booktitleaddon"));
    const std::string eventTitle = plainField(entry, "eventtitle");
    const std::initializer_list<FieldKey> bookParts = {"booktitle", "booksubtitle", "booktitleaddon"};
    if (sourceType == "ConferenceProceedings" && eventTitle.empty()) {
        put("ConferenceName", bookTitle, bookParts);
        return;
    }
    put("BookTitle", bookTitle, bookParts);
    put("ConferenceName", eventTitle, {"eventtitle"});
}

void RecordWriter::appendPublishing(const Dates &dates)
{
    const auto dateOr = [&](FieldKey own) { return dates.fromDate ? FieldKey("date") : own; };
    put("Year", dates.year, {dateOr("year")});
    put("Month", dates.month, {dateOr("month")});
    put("Day", dates.day, {dates.dayFrom});
    putDirect("City");
    const std::string_view howPublished = fieldText(entry, "howpublished");
    auto [publisherField, publisher] = firstOf({"publisher", "organization"});
    if (publisher.empty() && addressIn(howPublished).empty()) {
        publisherField = "howpublished";
        publisher = plainField(entry, "howpublished");
    }
    put("Publisher", publisher, {publisherField});
    putDirect("Volume");
    appendIssue();
    put("Pages", pagesText(fieldText(entry, "pages")), {"pages"});
    const std::string_view url = fieldText(entry, "url");
    const bool urlFromHowPublished = url.empty() && !addressIn(howPublished).empty();
    put("URL", verbatimText(urlFromHowPublished ? addressIn(howPublished) : url),
        {urlFromHowPublished ? FieldKey("howpublished") : FieldKey("url")});
    putDirect("DOI");
    appendAccessed();
}

// An article's number is its issue. biblatex's issue field ("Spring",
// "Special issue on ...") is an issue whatever the type.
void RecordWriter::appendIssue()
{
    const std::string issue = plainField(entry, "issue");
    if (!numberIsIssue()) {
        put("Issue", issue, {"issue"});
        return;
    }
    const std::string number = plainField(entry, "number");
    put("Issue", number.empty() || issue.empty() ? number + issue : number + " (" + issue + ")",
        {"number", "issue"});
}

// A patent's number is its patent number; any other number that is no
// issue (a report's, a standard's) is the StandardNumber, which an ISBN or
// ISSN takes when it is free.
void RecordWriter::appendNumbers()
{
    const std::string number = plainField(entry, "number");
    if (numberIsIssue() || sourceType == "Patent" || number.empty()) {
        const auto [standardField, standard] = firstOf({"isbn", "issn"});
        put("StandardNumber", standard, {standardField});
    } else {
        put("StandardNumber", number, {"number"});
        for (const FieldKey field : std::initializer_list<FieldKey>{"isbn", "issn"}) {
            if (!fieldText(entry, field).empty()) {
                nowhere(field, "'number' is used instead");
            }
        }
    }
    if (sourceType == "Patent") {
        put("PatentNumber", number, {"number"});
    }
}

void RecordWriter::appendAccessed()
{
    const auto [field, written] = firstOf({"urldate", "lastchecked"});
    if (written.empty()) {
        return;
    }
    // A date that is no ISO date ("visited 3 May 2010") is kept as written
    // rather than lost.
    const std::optional<DateParts> date = parseDate(written);
    if (!date) {
        put("YearAccessed", written, {field});
        return;
    }
    put("YearAccessed", date->year, {field});
    put("MonthAccessed", date->month, {field});
    put("DayAccessed", date->day, {field});
}

void RecordWriter::appendRest(const Dates &dates)
{
    putDirect("ShortTitle");
    putDirect("Edition");
    const auto [institutionField, institution] = firstOf({"school", "institution"});
    put("Institution", institution, {institutionField});
    std::string kind = kindText(plainField(entry, "type"));
    if (isThesisType(entry.type)) {
        put("ThesisType", kind.empty() ? std::string(thesisKind(entry.type)) : kind, {"type"});
    } else {
        put("Type", kind, {"type"});
    }
    putDirect("ChapterNumber");
    putDirect("NumberVolumes");
    appendNumbers();
    // The note, then the annotation, then what the dates could not say.
    std::string comments = plainField(entry, "note");
    const auto [annotationField, annotation] = firstOf({"annotation", "annote"});
    for (const std::string &part : {annotation, dates.comment}) {
        if (!part.empty()) {
            comments += (comments.empty() ? "" : "; ") + part;
        }
    }
    if (dates.comment.empty()) {
        put("Comments", comments, {"note", annotationField});
    } else if (dates.commentFrom) {
        put("Comments", comments, {"note", annotationField, *dates.commentFrom});
    } else {
        put("Comments", comments, {"note", annotationField, "date", "month"});
    }
}

void RecordWriter::noteRepeatedFields()
{
    for (size_t i = 1; i < entry.fields.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (entry.fields[j].name == entry.fields[i].name) {
                record.problems.push_back("gives '" + entry.fields[i].name + "' twice; the first is kept");
                break;
            }
        }
    }
}

TidyRecord RecordWriter::write(std::string_view tag, std::string_view guid)
{
    noteRepeatedFields();
    std::string &out = record.text;
    out += "<b:Source>\n";
    // A key is the parser's bytes like any field: Latin-1 in an old file.
    appendTidyElement(out, "Tag", stripXmlForbidden(decodeParserText(tag)));
    appendTidyElement(out, "SourceType", sourceType);
    appendTidyElement(out, "Guid", guid);
    out += tidyContributors(entry.fields, accounting ? &account : nullptr);
    put("Title",
        joinedTitle(
            plainField(entry, "title"), plainField(entry, "subtitle"), plainField(entry, "titleaddon")),
        {"title", "subtitle", "titleaddon"});
    appendContainer();
    const Dates dated = dates();
    appendPublishing(dated);
    appendRest(dated);
    out += "</b:Source>\n";
    if (accounting) {
        record.uses = account.uses(entry);
    }
    return std::move(record);
}

} // namespace

TidyRecord tidyRecord(const Entry &entry, std::string_view tag, std::string_view guid, bool withUses)
{
    return RecordWriter(entry, withUses).write(tag, guid);
}

std::string entryYear(const Entry &entry)
{
    const std::string_view date = fieldText(entry, "date");
    if (!date.empty()) {
        if (const std::optional<DateParts> parts = parseDate(plainText(date))) {
            return parts->year;
        }
    }
    return plainField(entry, "year");
}

} // namespace bibsources
