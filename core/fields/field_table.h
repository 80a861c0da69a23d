#pragma once

#include "entry.h"
#include "helper_command.h"

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace bibsources {

// The one list of the fields the converter reads, and what each becomes. The
// parser helper is told these names and hands over no others, so a field
// missing here never reaches either mapping. Names are compared exactly, as
// the parser reports them (in lower case).

// An element of a plain record, written when the entry's type is one of
// entryTypes (whatever the type, when none are listed).
struct PlainElement {
    std::string_view element;
    std::span<const std::string_view> entryTypes;
};

struct FieldRow {
    std::string_view name;
    // A list of people: the element of their role inside the contributor
    // block. The helper hands such a field over split into names.
    std::string_view role;
    // The plain mapping writes the first of these whose types fit the entry;
    // none fits: the field writes nothing there.
    std::span<const PlainElement> plain;
    // The element the tidy mapping fills from the field (tidy_record.h says
    // how several fields combine); empty: the field writes nothing itself.
    std::string_view tidy;
};

namespace field_rows {

inline constexpr std::string_view articleTypes[] = {"article"};
inline constexpr std::string_view proceedingsTypes[] = {"inproceedings", "proceedings", "conference"};
inline constexpr std::string_view bookPartTypes[] = {"inbook", "booklet"};
inline constexpr std::string_view cityTypes[] = {"book", "inbook", "booklet", "phdthesis", "techreport"};

// Which element a journal or booktitle field becomes depends on the entry
// type; for the types not listed it becomes nothing, as an address field of
// an unlisted type does.
inline constexpr PlainElement container[]
    = {{"JournalName", articleTypes}, {"ConferenceName", proceedingsTypes}, {"BookTitle", bookPartTypes}};
inline constexpr PlainElement title[] = {{"Title", {}}};
inline constexpr PlainElement publisher[] = {{"Publisher", {}}};
inline constexpr PlainElement pages[] = {{"Pages", {}}};
inline constexpr PlainElement month[] = {{"Month", {}}};
inline constexpr PlainElement year[] = {{"Year", {}}};
inline constexpr PlainElement volume[] = {{"Volume", {}}};
inline constexpr PlainElement number[] = {{"Number", {}}};
inline constexpr PlainElement city[] = {{"City", {}}};
inline constexpr PlainElement cityOfSomeTypes[] = {{"City", cityTypes}};
inline constexpr PlainElement edition[] = {{"Edition", {}}};
inline constexpr PlainElement institution[] = {{"Institution", {}}};
// A url's "<" and ">" come out as "&lt;" and "&gt;" like those of any other
// field, since every text is escaped on its way in.
inline constexpr PlainElement url[] = {{"URL", {}}};
inline constexpr PlainElement yearAccessed[] = {{"YearAccessed", {}}};

} // namespace field_rows

// The fields most entries have come first: the plain mapping looks each
// field up here.
inline constexpr auto fieldTable = std::to_array<FieldRow>({
    {"author", "Author", {}, "Author"},
    {"title", {}, field_rows::title, "Title"},
    {"year", {}, field_rows::year, "Year"},
    {"journal", {}, field_rows::container, "JournalName"},
    {"booktitle", {}, field_rows::container, "BookTitle"},
    {"pages", {}, field_rows::pages, "Pages"},
    {"volume", {}, field_rows::volume, "Volume"},
    {"number", {}, field_rows::number, "Issue"},
    {"publisher", {}, field_rows::publisher, "Publisher"},
    {"month", {}, field_rows::month, "Month"},
    {"editor", "Editor", {}, "Editor"},
    {"translator", "Translator", {}, "Translator"},
    {"address", {}, field_rows::cityOfSomeTypes, "City"},
    {"location", {}, field_rows::city, "City"},
    {"edition", {}, field_rows::edition, "Edition"},
    {"institution", {}, field_rows::institution, "Institution"},
    {"school", {}, field_rows::institution, "Institution"},
    {"url", {}, field_rows::url, "URL"},
    {"lastchecked", {}, field_rows::yearAccessed, "YearAccessed"},
    {"journaltitle", {}, {}, "JournalName"},
    {"subtitle", {}, {}, "Title"},
    {"titleaddon", {}, {}, "Title"},
    {"journalsubtitle", {}, {}, "JournalName"},
    {"booksubtitle", {}, {}, "BookTitle"},
    {"booktitleaddon", {}, {}, "BookTitle"},
    {"issue", {}, {}, "Issue"},
    {"shorttitle", {}, {}, "ShortTitle"},
    {"note", {}, {}, "Comments"},
    {"doi", {}, {}, "DOI"},
    {"isbn", {}, {}, "StandardNumber"},
    {"issn", {}, {}, "StandardNumber"},
    {"day", {}, {}, "Day"},
    {"date", {}, {}, "Year"},
    {"urldate", {}, {}, "YearAccessed"},
    {"organization", {}, {}, "Publisher"},
    {"chapter", {}, {}, "ChapterNumber"},
    {"volumes", {}, {}, "NumberVolumes"},
    {"type", {}, {}, "Type"},
    {"eventtitle", {}, {}, "ConferenceName"},
    {"howpublished", {}, {}, "Publisher"},
    {"annotation", {}, {}, "Comments"},
    {"annote", {}, {}, "Comments"},
    // Writes nothing itself: the tidy mapping follows it to the parent.
    {"crossref", {}, {}, {}},
});

// Called only when a FieldKey names no field of the table; since it is not
// constexpr, such a FieldKey does not compile. (It is defined all the same:
// clang 14 may still emit the consteval lookup's code in instrumented builds.)
void fieldNameNotInTable();

// A field name the table holds, checked while compiling:
// fieldText(entry, "titel") is an error, not a field that is never found.
class FieldKey {
public:
    consteval FieldKey(const char *fieldName)
        : row(rowOf(fieldName))
    {
    }

    constexpr std::string_view name() const { return fieldTable[row].name; }
    friend constexpr bool operator==(std::string_view fieldName, FieldKey key)
    {
        return fieldName == key.name();
    }

private:
    static consteval std::size_t rowOf(std::string_view fieldName)
    {
        for (std::size_t i = 0; i < fieldTable.size(); ++i) {
            if (fieldTable[i].name == fieldName) {
                return i;
            }
        }
        fieldNameNotInTable();
        return 0;
    }

    std::size_t row;
};

// The table's row for a name an entry brings, or null.
const FieldRow *findField(std::string_view fieldName);

// The element of a contributor field's role ("Author", "Editor",
// "Translator"), or empty when the field is no list of people.
std::string_view contributorRole(std::string_view fieldName);

enum class FieldsFor { PlainMapping, TidyMapping };

// What the parser helper is told to hand over: the fields of the table the
// mapping reads (every field it does not read costs parsing, copying and
// decoding), the contributor fields split into names.
FieldSelection helperFields(FieldsFor mapping);

// The text of the entry's first field of that name; empty when it has none.
std::string_view fieldText(const Entry &entry, FieldKey key);

} // namespace bibsources
