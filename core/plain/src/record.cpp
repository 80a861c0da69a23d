#include "record.h"

#include "field_table.h"
#include "names.h"
#include "source_type.h"
#include "text.h"
#include "xml.h"

#include <algorithm>

namespace bibsources {

namespace {

void appendFieldElement(std::string &out, std::string_view tag, std::string_view parserText)
{
    appendElement(out, tag, [parserText](std::string &content) { appendXmlContent(content, parserText); });
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
std::string_view elementForField(const FieldRow &row, std::string_view entryType)
{
    for (const PlainElement &plain : row.plain) {
        if (plain.entryTypes.empty()
            || std::find(plain.entryTypes.begin(), plain.entryTypes.end(), entryType)
                != plain.entryTypes.end()) {
            return plain.element;
        }
    }
    return {};
}

} // namespace

std::string sourceRecord(const Entry &entry)
{
    std::string out;
    out.reserve(256 + entry.fields.size() * 64);
    out += "<b:Source>\n";
    appendFieldElement(out, "Tag", entry.key);
    appendFieldElement(out, "SourceType", convertPaperType(entry.type));
    out += "<b:Guid></b:Guid>\n";
    out += "<b:LCID></b:LCID>\n";
    // One ThesisType per thesis record, at a fixed place, whatever its fields.
    if (const std::string_view thesis = thesisType(entry.type); !thesis.empty()) {
        appendFieldElement(out, "ThesisType", thesis);
    }
    for (const Field &field : entry.fields) {
        const FieldRow *row = findField(field.name);
        if (!row) {
            continue;
        }
        if (!row->role.empty()) {
            out += contributorBlock(row->role, field);
            continue;
        }
        if (const std::string_view tag = elementForField(*row, entry.type); !tag.empty()) {
            appendFieldElement(out, tag, field.text);
        }
    }
    out += "</b:Source>\n";
    return out;
}

} // namespace bibsources
