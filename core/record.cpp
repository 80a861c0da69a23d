#include "record.h"

#include "names.h"
#include "source_type.h"
#include "text.h"

#include <initializer_list>

namespace bibsources {

namespace {

bool isOneOf(std::string_view value, std::initializer_list<std::string_view> candidates)
{
    for (std::string_view candidate : candidates) {
        if (value == candidate) {
            return true;
        }
    }
    return false;
}

void appendElement(std::string &out, std::string_view tag, std::string_view parserText)
{
    out.append("<b:").append(tag).append(">");
    appendXmlContent(out, parserText);
    out.append("</b:").append(tag).append(">\n");
}

// Which element a journal or booktitle field becomes depends on the entry
// type; for the types not listed it becomes nothing, as an address field of
// an unlisted type does.
std::string_view containerElement(std::string_view entryType)
{
    if (entryType == "article") {
        return "JournalName";
    }
    if (isOneOf(entryType, {"inproceedings", "proceedings", "conference"})) {
        return "ConferenceName";
    }
    if (isOneOf(entryType, {"inbook", "booklet"})) {
        return "BookTitle";
    }
    return {};
}

std::string_view thesisType(std::string_view entryType)
{
    if (entryType == "phdthesis") {
        return "PhD Thesis";
    }
    if (entryType == "mastersthesis") {
        return "Master's Thesis";
    }
    return {};
}

// The element a plain (non-contributor) field becomes, or an empty view when
// the field writes nothing in an entry of this type.
std::string_view elementForField(std::string_view name, std::string_view entryType)
{
    if (name == "title") {
        return "Title";
    }
    if (name == "journal" || name == "booktitle") {
        return containerElement(entryType);
    }
    if (name == "publisher") {
        return "Publisher";
    }
    if (name == "pages") {
        return "Pages";
    }
    if (name == "month") {
        return "Month";
    }
    if (name == "year") {
        return "Year";
    }
    if (name == "volume") {
        return "Volume";
    }
    if (name == "number") {
        return "Number";
    }
    if (name == "location") {
        return "City";
    }
    if (name == "address") {
        return isOneOf(entryType, {"book", "inbook", "booklet", "phdthesis", "techreport"})
            ? std::string_view("City")
            : std::string_view();
    }
    if (name == "edition") {
        return "Edition";
    }
    if (name == "institution" || name == "school") {
        return "Institution";
    }
    if (name == "url") {
        return "URL";
    }
    if (name == "lastchecked") {
        return "YearAccessed";
    }
    return {};
}

} // namespace

std::string sourceRecord(const Entry &entry)
{
    std::string out;
    out.reserve(256 + entry.fields.size() * 64);
    out += "<b:Source>\n";
    appendElement(out, "Tag", entry.key);
    appendElement(out, "SourceType", convertPaperType(entry.type));
    out += "<b:Guid></b:Guid>\n";
    out += "<b:LCID></b:LCID>\n";
    // One ThesisType per thesis record, at a fixed place, whatever its fields.
    if (const std::string_view thesis = thesisType(entry.type); !thesis.empty()) {
        appendElement(out, "ThesisType", thesis);
    }
    for (const Field &field : entry.fields) {
        if (isContributorField(field.name)) {
            out += contributorBlock(field.name, field);
            continue;
        }
        // A url's "<" and ">" come out as "&lt;" and "&gt;" like those of any
        // other field, since every text is escaped on its way in.
        if (const std::string_view tag = elementForField(field.name, entry.type); !tag.empty()) {
            appendElement(out, tag, field.text);
        }
    }
    out += "</b:Source>\n";
    return out;
}

} // namespace bibsources
