#include "field_table.h"

namespace bibsources {

const FieldRow *findField(std::string_view fieldName)
{
    for (const FieldRow &row : fieldTable) {
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

FieldSelection helperFields()
{
    FieldSelection selection;
    for (const FieldRow &row : fieldTable) {
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
