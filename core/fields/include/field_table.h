#pragma once

#include "entry.h"
#include "helper_command.h"

#include <array>
#include <cstddef>
#include <cstdint>
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

// How a field's text is read into its tidy element, and how --to-bib
// writes the element's text back.
enum class TidyText : std::uint8_t {
    Plain, // TeX read as plain Unicode; written back with TeX's specials as commands
    Verbatim, // a link or identifier: kept as written, both ways
    Title, // read as Plain; written back with its capitals protected
};

// Which direction the table itself carries a field in the tidy mapping.
enum class TidyWay : std::uint8_t {
    // Both directions are written by hand (tidy_record.cpp, bib_entry.cpp):
    // the field is combined with others, or the entry type decides.
    Combined,
    // Both directions come from the table. The element holds the text of the
    // first of its Direct rows that the entry gives (the others are noted as
    // passed over), and --to-bib writes it back to the first of them. Only
    // where the element stands is said by hand: putDirect in tidy_record.cpp,
    // addBack in bib_entry.cpp.
    Direct,
    // The tidy record fills the element by hand, combining fields; --to-bib
    // writes it back to this field alone (addBack, where it stands).
    Back,
};

struct FieldRow {
    std::string_view name;
    // A list of people: the element of their role inside the contributor
    // block. The helper hands such a field over split into names.
    std::string_view role;
    // The plain mapping writes the first of these whose types fit the entry;
    // none fits: the field writes nothing there.
    std::span<const PlainElement> plain;
    // The element the tidy mapping fills from the field; empty: the field
    // writes nothing itself.
    std::string_view tidy;
    TidyWay way = TidyWay::Combined;
    TidyText text = TidyText::Plain;
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
    {"title", {}, field_rows::title, "Title", TidyWay::Back, TidyText::Title},
    {"year", {}, field_rows::year, "Year", TidyWay::Back},
    {"journal", {}, field_rows::container, "JournalName", TidyWay::Back},
    {"booktitle", {}, field_rows::container, "BookTitle"},
    {"pages", {}, field_rows::pages, "Pages", TidyWay::Back},
    {"volume", {}, field_rows::volume, "Volume", TidyWay::Direct},
    {"number", {}, field_rows::number, "Issue"},
    {"publisher", {}, field_rows::publisher, "Publisher", TidyWay::Back},
    {"month", {}, field_rows::month, "Month"},
    {"editor", "Editor", {}, "Editor"},
    {"translator", "Translator", {}, "Translator"},
    {"address", {}, field_rows::cityOfSomeTypes, "City", TidyWay::Direct},
    {"location", {}, field_rows::city, "City", TidyWay::Direct},
    {"edition", {}, field_rows::edition, "Edition", TidyWay::Direct},
    {"institution", {}, field_rows::institution, "Institution"},
    {"school", {}, field_rows::institution, "Institution"},
    {"url", {}, field_rows::url, "URL", TidyWay::Back, TidyText::Verbatim},
    {"lastchecked", {}, field_rows::yearAccessed, "YearAccessed"},
    {"journaltitle", {}, {}, "JournalName"},
    {"subtitle", {}, {}, "Title"},
    {"titleaddon", {}, {}, "Title"},
    {"journalsubtitle", {}, {}, "JournalName"},
    {"booksubtitle", {}, {}, "BookTitle"},
    {"booktitleaddon", {}, {}, "BookTitle"},
    {"issue", {}, {}, "Issue"},
    {"shorttitle", {}, {}, "ShortTitle", TidyWay::Direct},
    {"note", {}, {}, "Comments", TidyWay::Back},
    {"doi", {}, {}, "DOI", TidyWay::Direct, TidyText::Verbatim},
    {"isbn", {}, {}, "StandardNumber"},
    {"issn", {}, {}, "StandardNumber"},
    {"day", {}, {}, "Day", TidyWay::Back},
    {"date", {}, {}, "Year"},
    {"urldate", {}, {}, "YearAccessed"},
    {"organization", {}, {}, "Publisher"},
    {"chapter", {}, {}, "ChapterNumber", TidyWay::Direct},
    {"volumes", {}, {}, "NumberVolumes", TidyWay::Direct},
    {"type", {}, {}, "Type", TidyWay::Back},
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

    // The key of one of the table's own rows.
    static constexpr FieldKey of(const FieldRow &tableRow)
    {
        return FieldKey(static_cast<std::size_t>(&tableRow - fieldTable.data()));
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

    constexpr explicit FieldKey(std::size_t tableRow)
        : row(tableRow)
    {
    }

    std::size_t row;
};

// Called only when a DirectElement or BackField names an element the table
// does not carry that way; such a name does not compile.
void elementNotCarriedByTable();

// The row whose field --to-bib writes a tidy element back to: the first
// Direct or Back row naming it; null when the hand-written code decides.
constexpr const FieldRow *backRow(std::string_view element)
{
    for (const FieldRow &row : fieldTable) {
        if (row.tidy == element && row.way != TidyWay::Combined) {
            return &row;
        }
    }
    return nullptr;
}

// A tidy element filled from the table's Direct rows, checked while
// compiling: DirectElement("Volume") holds the rows that fill it, in table
// order, the first the entry gives winning.
class DirectElement {
public:
    consteval DirectElement(const char *element)
        : elementName(element)
    {
        for (const FieldRow &row : fieldTable) {
            if (row.tidy == elementName && row.way == TidyWay::Direct) {
                rowList[count++] = &row;
            }
        }
        if (count == 0) {
            elementNotCarriedByTable();
        }
    }

    constexpr std::string_view name() const { return elementName; }
    constexpr std::span<const FieldRow *const> rows() const { return {rowList.data(), count}; }
    // The same for all of its rows (field_table.cpp checks).
    constexpr TidyText text() const { return rowList[0]->text; }

private:
    std::string_view elementName;
    std::array<const FieldRow *, 4> rowList{};
    std::size_t count = 0;
};

// A tidy element --to-bib writes back to one field, checked while
// compiling: BackField("Volume").field() is "volume".
class BackField {
public:
    // The row is found by its index: a sanitized build cannot compare the
    // pointer backRow gives with null while compiling.
    consteval BackField(const char *element)
        : row(rowOf(element))
    {
    }

    constexpr std::string_view element() const { return fieldTable[row].tidy; }
    constexpr std::string_view field() const { return fieldTable[row].name; }
    constexpr TidyText text() const { return fieldTable[row].text; }

private:
    static consteval std::size_t rowOf(std::string_view element)
    {
        for (std::size_t i = 0; i < fieldTable.size(); ++i) {
            if (fieldTable[i].tidy == element && fieldTable[i].way != TidyWay::Combined) {
                return i;
            }
        }
        elementNotCarriedByTable();
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
