#include "bib_entry.h"

#include "bib_names.h"
#include "bib_text.h"
#include "bib_types.h"
#include "field_table.h"
#include "text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>
#include <string_view>

namespace bibsources {

namespace {

std::string textOf(const XmlElement *element)
{
    return element->content();
}

std::string_view nameOf(const XmlElement *element)
{
    return element->localName;
}

std::vector<const XmlElement *> elementsOf(const XmlElement *parent)
{
    std::vector<const XmlElement *> elements;
    for (const XmlElement &child : parent->children) {
        elements.push_back(&child);
    }
    return elements;
}

const XmlElement *childNamed(const XmlElement *parent, std::string_view name)
{
    for (const XmlElement &child : parent->children) {
        if (child.localName == name) {
            return &child;
        }
    }
    return nullptr;
}

std::string lowerCase(std::string_view text)
{
    std::string lower(text);
    std::transform(
        lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower;
}

constexpr std::array<std::string_view, 12> monthNames = {"January", "February", "March", "April", "May",
    "June", "July", "August", "September", "October", "November", "December"};

// 1 to 12 for a month's English name or number; 0 for anything else.
int monthNumber(std::string_view text)
{
    for (size_t i = 0; i < monthNames.size(); ++i) {
        if (lowerCase(text) == lowerCase(monthNames[i])) {
            return int(i) + 1;
        }
    }
    if (!text.empty() && text.size() <= 2 && std::all_of(text.begin(), text.end(), ::isdigit)) {
        const int number = std::stoi(std::string(text));
        return number >= 1 && number <= 12 ? number : 0;
    }
    return 0;
}

bool isNumber(std::string_view text, size_t maxDigits)
{
    return !text.empty() && text.size() <= maxDigits && std::all_of(text.begin(), text.end(), ::isdigit);
}

std::string twoDigits(int number)
{
    return (number < 10 ? "0" : "") + std::to_string(number);
}

// Builds one entry, marking each child element used as it goes; the ones
// left over become ms- fields.
class EntryBuilder {
public:
    explicit EntryBuilder(const XmlElement *source)
        : source(source)
    {
    }

    BibEntry build();

private:
    // The trimmed text of the first child element called name, marked used.
    std::string take(std::string_view name);
    bool has(std::string_view name) const { return childNamed(source, name) != nullptr; }
    void add(std::string name, std::string value);
    void addBraced(std::string name, const std::string &value)
    {
        if (!value.empty()) {
            add(std::move(name), "{" + value + "}");
        }
    }
    void addText(std::string name, std::string_view element)
    {
        addBraced(std::move(name), bibValue(take(element)));
    }
    // An element the table writes back to one field.
    void addBack(BackField back);

    void addContributors();
    void addRole(const XmlElement *role);
    void addContainers();
    void addDates();
    void addAccessed();
    void addNumbers();
    void addKinds();
    void addKept();

    const XmlElement *source;
    std::set<const XmlElement *> used;
    BibEntry entry;
};

std::string EntryBuilder::take(std::string_view name)
{
    const XmlElement *child = childNamed(source, name);
    if (!child) {
        return {};
    }
    used.insert(child);
    return std::string(trimmed(textOf(child)));
}

void EntryBuilder::add(std::string name, std::string value)
{
    for (auto &[existing, text] : entry.fields) {
        if (existing != name) {
            continue;
        }
        if (name == "author" || name == "editor" || name == "translator" || name.starts_with("ms-")) {
            // A role given in two blocks is one list.
            text = text.substr(0, text.size() - 1) + " and " + value.substr(1);
        } else {
            // A second element for one field (b:Type beside b:ThesisType) is kept.
            add("ms-" + name, std::move(value));
        }
        return;
    }
    entry.fields.emplace_back(std::move(name), std::move(value));
}

void EntryBuilder::addBack(BackField back)
{
    const std::string text = take(back.element());
    switch (back.text()) {
    case TidyText::Plain:
        return addBraced(std::string(back.field()), bibValue(text));
    case TidyText::Verbatim:
        return addBraced(std::string(back.field()), bibVerbatim(text));
    case TidyText::Title:
        return addBraced(std::string(back.field()), bibTitle(text));
    }
}

void EntryBuilder::addContributors()
{
    for (const XmlElement *wrapper : elementsOf(source)) {
        if (nameOf(wrapper) != "Author") {
            continue;
        }
        used.insert(wrapper);
        for (const XmlElement *role : elementsOf(wrapper)) {
            addRole(role);
        }
    }
}

void EntryBuilder::addRole(const XmlElement *role)
{
    const std::string roleName = lowerCase(nameOf(role));
    const bool known = roleName == "author" || roleName == "editor" || roleName == "translator";
    std::string names;
    for (const XmlElement *part : elementsOf(role)) {
        if (nameOf(part) == "Corporate") {
            names += (names.empty() ? "" : " and ") + bibCorporate(trimmed(textOf(part)));
            continue;
        }
        for (const XmlElement *person : elementsOf(part)) {
            const auto partText = [&](std::string_view name) {
                const XmlElement *node = childNamed(person, name);
                return node ? std::string(trimmed(textOf(node))) : std::string();
            };
            const std::string name = bibPerson(partText("Last"), partText("First"), partText("Middle"));
            if (!name.empty()) {
                names += (names.empty() ? "" : " and ") + name;
            }
        }
    }
    addBraced(known ? roleName : "ms-" + roleName, names);
}

void EntryBuilder::addContainers()
{
    addBack("JournalName");
    const bool conferenceName = entry.type == "inproceedings" && !has("BookTitle");
    addText("booktitle", conferenceName ? "ConferenceName" : "BookTitle");
    if (!conferenceName) {
        addText("eventtitle", "ConferenceName");
    }
}

void EntryBuilder::addDates()
{
    addBack("Year");
    const std::string month = take("Month");
    if (const int number = monthNumber(month); number > 0) {
        add("month", lowerCase(monthNames[number - 1].substr(0, 3)));
    } else {
        addBraced("month", bibValue(month));
    }
    addBack("Day");
}

// A whole date when each part is one; else the parts as written.
void EntryBuilder::addAccessed()
{
    const std::string year = take("YearAccessed");
    const std::string month = take("MonthAccessed");
    const std::string day = take("DayAccessed");
    const int monthValue = monthNumber(month);
    const bool isoDate = isNumber(year, 4) && (month.empty() || monthValue > 0)
        && (day.empty() || (isNumber(day, 2) && !month.empty()));
    if (isoDate) {
        std::string date = year;
        if (monthValue > 0) {
            date += "-" + twoDigits(monthValue);
        }
        if (!day.empty()) {
            date += "-" + twoDigits(std::stoi(day));
        }
        add("urldate", "{" + date + "}");
        return;
    }
    std::string written = year;
    for (const std::string *part : {&month, &day}) {
        if (!part->empty()) {
            written += (written.empty() ? "" : " ") + *part;
        }
    }
    addBraced("urldate", bibValue(written));
}

void EntryBuilder::addNumbers()
{
    const bool article = entry.type == "article" || entry.type == "periodical";
    addText(article ? "number" : "issue", "Issue");
    if (entry.type == "patent") {
        addText("number", "PatentNumber");
    }
    const bool bookish = entry.type == "book" || entry.type == "inbook" || entry.type == "incollection"
        || entry.type == "inproceedings" || entry.type == "patent";
    addText(article ? "issn" : bookish ? "isbn" : "number", "StandardNumber");
}

void EntryBuilder::addKinds()
{
    const std::string thesisType = take("ThesisType");
    if (thesisType != impliedThesisKind(entry.type)) {
        addBraced("type", bibValue(thesisType));
    }
    addBack("Type");
}

void EntryBuilder::addKept()
{
    for (const XmlElement *child : elementsOf(source)) {
        if (used.count(child) == 0) {
            addBraced("ms-" + lowerCase(nameOf(child)), bibKept(trimmed(textOf(child))));
        }
    }
}

BibEntry EntryBuilder::build()
{
    entry.tag = take("Tag");
    const std::string sourceType = take("SourceType");
    const XmlElement *thesis = childNamed(source, "ThesisType");
    entry.type = bibEntryType(
        sourceType, thesis ? std::string(trimmed(textOf(thesis))) : std::string(), has("BookTitle"));
    addContributors();
    addBack("Title");
    addContainers();
    addDates();
    addBack("City");
    addBack("Publisher");
    const bool thesisEntry = entry.type.ends_with("thesis");
    addText(thesisEntry ? "school" : "institution", "Institution");
    addBack("Volume");
    addBack("Pages");
    addBack("Edition");
    addBack("ChapterNumber");
    addBack("NumberVolumes");
    addNumbers();
    addKinds();
    addBack("URL");
    addBack("DOI");
    addAccessed();
    addBack("ShortTitle");
    addBack("Comments");
    addKept();
    return std::move(entry);
}

} // namespace

BibEntry bibEntry(const XmlElement *source)
{
    return EntryBuilder(source).build();
}

std::string bibEntryText(const BibEntry &entry, const std::string &key)
{
    std::string text = "@" + entry.type + "{" + key + ",\n";
    for (const auto &[name, value] : entry.fields) {
        text += "  " + name + " = " + value + ",\n";
    }
    text += "}\n\n";
    return text;
}

} // namespace bibsources
