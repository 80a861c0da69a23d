#include "field_account.h"

#include "text.h"
#include "tidy_text.h"

#include <algorithm>

namespace bibsources {

namespace {

const FieldUse *find(const std::vector<FieldUse> &uses, std::string_view field)
{
    const auto found
        = std::find_if(uses.begin(), uses.end(), [&](const FieldUse &use) { return use.field == field; });
    return found == uses.end() ? nullptr : &*found;
}

} // namespace

std::string keptCommandsNote(std::string_view text)
{
    std::vector<std::string_view> commands;
    for (const std::string_view command : commandsLeftIn(text)) {
        if (std::find(commands.begin(), commands.end(), command) == commands.end()) {
            commands.push_back(command);
        }
    }
    std::string note;
    for (const std::string_view command : commands) {
        note.append(note.empty() ? "keeps " : " ").append(command);
    }
    return note;
}

void FieldAccount::wentTo(std::string_view field, std::string_view element, std::string_view text)
{
    const auto found = std::find_if(
        decided.begin(), decided.end(), [&](const FieldUse &use) { return use.field == field; });
    if (found == decided.end()) {
        decided.push_back(FieldUse{std::string(field), std::string(element), keptCommandsNote(text)});
    } else if (!found->element.empty()) {
        found->element.append(" ").append(element);
        const std::string kept = keptCommandsNote(text);
        if (found->note.empty()) {
            found->note = kept;
        }
    }
}

void FieldAccount::wentNowhere(std::string_view field, std::string note)
{
    if (!find(decided, field)) {
        decided.push_back(FieldUse{std::string(field), {}, std::move(note)});
    }
}

std::vector<FieldUse> FieldAccount::uses(const Entry &entry) const
{
    std::vector<FieldUse> uses;
    uses.reserve(entry.fields.size());
    for (const Field &field : entry.fields) {
        if (find(uses, field.name)) {
            uses.push_back(FieldUse{field.name, {}, "given twice; the first is kept"});
        } else if (const FieldUse *use = find(decided, field.name)) {
            uses.push_back(*use);
        } else {
            const bool empty
                = !field.textLeftOut && (field.names ? field.names->empty() : plainText(field.text).empty());
            uses.push_back(FieldUse{field.name, {}, empty ? "empty" : "no place in the format"});
        }
    }
    return uses;
}

} // namespace bibsources
