#include "field_table.h"

#include <array>
#include <cstdint>
#include <cstdlib>

namespace bibsources {

namespace {

// Every field of every entry is looked up, so the rows are grouped by the
// length of their names: a lookup compares a name with the few rows of its
// own length only.
constexpr std::size_t longestName = 32;

struct RowsByLength {
    std::array<std::uint8_t, fieldTable.size()> rows{};
    std::array<std::uint8_t, longestName + 2> start{}; // rows of length n: [start[n], start[n + 1])
};

constexpr RowsByLength rowsByLength = [] {
    static_assert(fieldTable.size() < 256);
    RowsByLength index;
    std::size_t next = 0;
    for (std::size_t length = 0; length <= longestName; ++length) {
        index.start[length] = static_cast<std::uint8_t>(next);
        for (std::size_t row = 0; row < fieldTable.size(); ++row) {
            if (fieldTable[row].name.size() == length) {
                index.rows[next++] = static_cast<std::uint8_t>(row);
            }
        }
    }
    index.start[longestName + 1] = static_cast<std::uint8_t>(next);
    if (next != fieldTable.size()) {
        throw "a field name is longer than longestName";
    }
    return index;
}();

// What the two ways of a tidy element promise: its Direct rows read their
// text alike, and an element filled directly is written back to its first
// Direct row, never to a Back row.
constexpr bool tidyWaysAgree()
{
    for (const FieldRow &row : fieldTable) {
        if (row.way == TidyWay::Combined) {
            continue;
        }
        const FieldRow *first = backRow(row.tidy);
        const bool sameWay = first->way == row.way;
        const bool sameText = first->text == row.text;
        const bool oneBack = row.way == TidyWay::Direct || first == &row;
        if (!sameWay || !sameText || !oneBack) {
            return false;
        }
    }
    return true;
}
static_assert(tidyWaysAgree(), "the rows of a tidy element disagree about the way it is carried");

} // namespace

void fieldNameNotInTable()
{
    std::abort();
}

void elementNotCarriedByTable()
{
    std::abort();
}

const FieldRow *findField(std::string_view fieldName)
{
    if (fieldName.size() > longestName) {
        return nullptr;
    }
    const std::size_t end = rowsByLength.start[fieldName.size() + 1];
    for (std::size_t i = rowsByLength.start[fieldName.size()]; i < end; ++i) {
        const FieldRow &row = fieldTable[rowsByLength.rows[i]];
        if (row.name == fieldName) {
            return &row;
        }
    }
    return nullptr;
}

std::string_view contributorRole(std::string_view fieldName)
{
    const FieldRow *row = findField(fieldName);
    return row ? row->role : std::string_view();
}

FieldSelection helperFields(FieldsFor mapping)
{
    FieldSelection selection;
    for (const FieldRow &row : fieldTable) {
        if (mapping == FieldsFor::PlainMapping && row.role.empty() && row.plain.empty()) {
            continue;
        }
        selection.kept.emplace_back(row.name);
        if (!row.role.empty()) {
            selection.names.emplace_back(row.name);
        }
    }
    return selection;
}

std::string_view fieldText(const Entry &entry, FieldKey key)
{
    for (const Field &field : entry.fields) {
        if (field.name == key) {
            return field.text;
        }
    }
    return {};
}

} // namespace bibsources
