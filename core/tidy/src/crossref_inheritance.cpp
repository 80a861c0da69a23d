#include "crossref_inheritance.h"

#include "field_table.h"

#include <algorithm>
#include <array>
#include <strings.h>
#include <vector>

namespace bibsources {

namespace {

constexpr std::array<std::string_view, 22> notInherited
    = {"crossref", "xref", "ids", "entryset", "entrysubtype", "execute", "label", "options", "presort",
        "related", "relatedoptions", "relatedstring", "relatedtype", "shorthand", "shorthandintro", "sortkey",
        "shorttitle", "sorttitle", "indextitle", "indexsorttitle", "key", "sortname"};

// Names of one field: biblatex reads the second of each pair as the first.
constexpr std::array<std::pair<std::string_view, std::string_view>, 4> aliases
    = {{{"location", "address"}, {"journaltitle", "journal"}, {"institution", "school"}, {"date", "year"}}};

std::string_view canonical(std::string_view name)
{
    for (const auto &[first, second] : aliases) {
        if (name == second) {
            return first;
        }
    }
    return name;
}

// A field given empty is one the entry does not have.
bool has(const Entry &entry, std::string_view name)
{
    const std::string_view wanted = canonical(name);
    return std::any_of(entry.fields.begin(), entry.fields.end(), [&](const Field &field) {
        return canonical(field.name) == wanted
            && (field.textLeftOut || field.text.find_first_not_of(" \t\r\n{}") != std::string::npos);
    });
}

// Where the parent's own title parts go in the child.
std::string_view titleTarget(std::string_view parentType, std::string_view name)
{
    const bool periodical = ::strcasecmp(std::string(parentType).c_str(), "periodical") == 0;
    if (name == "title") {
        return periodical ? "journaltitle" : "booktitle";
    }
    if (name == "subtitle") {
        return periodical ? "journalsubtitle" : "booksubtitle";
    }
    if (name == "titleaddon") {
        return periodical ? "journaltitleaddon" : "booktitleaddon";
    }
    return name;
}

bool datedOnItsOwn(const Entry &entry)
{
    return has(entry, "date");
}

std::string folded(std::string_view key)
{
    std::string lower(key);
    for (char &c : lower) {
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    return lower;
}

// The keys of the chain so far, as "a → b → a".
std::string chainText(const std::vector<std::string> &keys)
{
    std::string text;
    for (const std::string &key : keys) {
        text += (text.empty() ? "" : " → ") + key;
    }
    return text;
}

} // namespace

std::string_view crossrefOf(const Entry &entry)
{
    return fieldText(entry, "crossref");
}

Resolved resolveCrossrefs(const Entry &child, const EntryLookup &find)
{
    Resolved resolved{child, {}};
    std::vector<std::string> chain{child.key};
    std::vector<std::string> seen{folded(child.key)};
    std::string via;
    for (const Entry *current = &child; !crossrefOf(*current).empty();) {
        const std::string_view parentKey = crossrefOf(*current);
        chain.emplace_back(parentKey);
        if (current == &child && folded(parentKey) == seen.front()) {
            resolved.problem = "names itself as its crossref";
            break;
        }
        if (std::find(seen.begin(), seen.end(), folded(parentKey)) != seen.end()) {
            resolved.problem = "is in a crossref cycle: " + chainText(chain);
            break;
        }
        const Entry *parent = find(parentKey);
        if (!parent) {
            resolved.problem
                = via + "names crossref '" + std::string(parentKey) + "', which is not in the file";
            break;
        }
        resolved.entry = withInherited(resolved.entry, *parent);
        via += "names crossref '" + std::string(parentKey) + "', which ";
        seen.push_back(folded(parentKey));
        current = parent;
    }
    return resolved;
}

Entry withInherited(const Entry &child, const Entry &parent)
{
    Entry merged = child;
    const bool dated = datedOnItsOwn(child);
    for (const Field &field : parent.fields) {
        if (std::find(notInherited.begin(), notInherited.end(), field.name) != notInherited.end()) {
            continue;
        }
        const std::string_view target = titleTarget(parent.type, field.name);
        const bool dateField = canonical(target) == "date" || target == "month" || target == "day";
        if (has(merged, target) || (dated && dateField)) {
            continue;
        }
        Field inherited = field;
        inherited.name = std::string(target);
        merged.fields.push_back(std::move(inherited));
    }
    return merged;
}

} // namespace bibsources
