#include "btparse_reader.h"

#include "btparse_handles.h"
#include "name_parts.h"
#include "unsplittable_name.h"

#include <cstring>

namespace bibsources {

namespace {

std::vector<std::string> tokensOf(const bt_name &name, int part)
{
    std::vector<std::string> tokens;
    const int count = name.part_len[part];
    tokens.reserve(count > 0 ? count : 0);
    for (int i = 0; i < count; ++i) {
        const char *token = name.parts[part][i];
        tokens.emplace_back(token ? token : "");
    }
    return tokens;
}

Entry entryFrom(AST *ast, const FieldSelection &fields)
{
    Entry entry;
    const char *type = bt_entry_type(ast);
    const char *key = bt_entry_key(ast);
    entry.type = type ? type : "";
    entry.key = key ? key : "";
    entry.line = ast->line;

    // A preamble's text is one value, not a field: it is handed over as a
    // field named "preamble", for the commands it defines.
    if (bt_entry_metatype(ast) == BTE_PREAMBLE) {
        const TextPtr text(bt_get_text(ast));
        entry.fields.push_back(Field{"preamble", text ? text.get() : "", std::nullopt});
        return entry;
    }
    // A macro definition's fields are the macros themselves, which a
    // restarted worker must be given again; they are all kept.
    const bool keepEveryField = bt_entry_metatype(ast) == BTE_MACRODEF;
    AST *field = nullptr;
    char *name = nullptr;
    while ((field = bt_next_field(ast, field, &name))) {
        if (!name) {
            continue;
        }
        if (!keepEveryField && !fields.keeps(name)) {
            if (fields.namesOfTheRest) {
                entry.fields.push_back(Field{name, {}, std::nullopt, true});
            }
            continue;
        }
        const TextPtr text(bt_get_text(field));
        Field out{name, text ? text.get() : "", std::nullopt};
        if (fields.splitsNames(out.name)) {
            out.names = splitNamesWithBtparse(out.text.c_str());
        }
        entry.fields.push_back(std::move(out));
    }
    return entry;
}

} // namespace

std::optional<std::vector<Person>> splitNamesWithBtparse(const char *text)
{
    ListPtr list(bt_split_list(
        const_cast<char *>(text), const_cast<char *>("and"), nullptr, 0, const_cast<char *>("name")));
    if (!list) {
        return std::nullopt;
    }
    std::vector<Person> people;
    people.reserve(list->num_items > 0 ? list->num_items : 0);
    for (int i = 0; i < list->num_items; ++i) {
        const char *item = list->items[i];
        if (!item) {
            people.emplace_back();
            continue;
        }
        if (std::optional<Person> person = personWithoutLastName(item)) {
            people.push_back(std::move(*person));
            continue;
        }
        // Where btparse would split by comma places it never wrote (",,",
        // ", ,", commas counted off below zero) or read past the name, the
        // reader's splitter, which is btparse's otherwise, splits it, and
        // prints what btparse would have printed.
        NameParts ours = splitNameParts(item, static_cast<size_t>(i));
        if (ours.commasMiscounted || ours.readsPastName) {
            std::fputs(ours.diagnostics.c_str(), stderr);
            people.push_back(std::move(ours.person));
            continue;
        }
        // The splitter drops white space before a name only by chance (it
        // reads a flag it never set), so it is dropped here, always.
        const char *start = item + std::strspn(item, " \t\n\v\f\r");
        NamePtr name(bt_split_name(const_cast<char *>(start), nullptr, 0, i));
        if (!name) {
            people.emplace_back();
            continue;
        }
        people.push_back(Person{tokensOf(*name, BTN_LAST), tokensOf(*name, BTN_FIRST),
            tokensOf(*name, BTN_VON), tokensOf(*name, BTN_JR)});
    }
    return people;
}

bool parseStream(
    std::FILE *stream, const std::string &fileName, const ParseSettings &settings, const StepSink &sink)
{
    ParserSession session;
    char *parserFileName = const_cast<char *>(fileName.c_str());
    const btshort options = settings.storeMacros ? 0 : BTO_NOSTORE;
    for (const auto &[name, value] : settings.macros) {
        bt_add_macro_text(const_cast<char *>(name.c_str()), const_cast<char *>(value.c_str()), nullptr, 0);
    }

    // An empty input is nothing to parse: btparse would call it a syntax
    // error ("at end of input, expected @"), and with no call made it has no
    // state to forget either.
    const int first = std::getc(stream);
    if (first == EOF) {
        return !std::ferror(stream);
    }
    std::ungetc(first, stream);
    // Test the end-of-file flag before each call, never after: btparse reads
    // ahead, so the flag is usually set while it is still handing back the
    // last entry. The error flag ends the loop too, so a stream that fails
    // without ever reaching its end cannot keep us here.
    while (!std::feof(stream) && !std::ferror(stream)) {
        boolean status = 0;
        EntryPtr ast(bt_parse_entry(stream, parserFileName, options, &status));
        ParseStep step;
        if (!status && ast) {
            // Only where it started: the converter looks for entries the
            // parser ran over inside what it read for this one.
            step.outcome = wire::StepKind::Skipped;
            step.entry.line = ast->line;
        } else if (!status) {
            step.outcome = wire::StepKind::Nothing;
        } else if (ast) {
            const char *type = bt_entry_type(ast.get());
            if (!type || std::strcmp(type, "comment") != 0) {
                step.outcome = wire::StepKind::Entry;
                step.entry = entryFrom(ast.get(), settings.fields);
                step.macroDefinition = bt_entry_metatype(ast.get()) == BTE_MACRODEF;
            }
        }
        sink(std::move(step));
    }

    if (std::ferror(stream)) {
        return false;
    }
    // btparse forgets a file's state only when it is itself called at the end
    // of that file. Without this last call the next file parsed in the same
    // process starts with a stale lexer: spurious syntax errors and wrong
    // line numbers.
    boolean ignored = 0;
    EntryPtr(bt_parse_entry(stream, parserFileName, options, &ignored));
    return true;
}

} // namespace bibsources
