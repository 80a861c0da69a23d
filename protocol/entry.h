#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bibsources {

// One name as btparse split it: its four parts, each a list of tokens (raw
// parser bytes, braces kept).
struct Person {
    std::vector<std::string> last;
    std::vector<std::string> first;
    std::vector<std::string> von = {};
    std::vector<std::string> jr = {};

    bool operator==(const Person &) const = default;
};

// One field of an entry, exactly as the parser delivered it.
struct Field {
    std::string name;
    std::string text;
    // Filled for "author", "editor" and "translator" fields only: the names the
    // field's text splits into. nullopt when the splitter returned no list.
    std::optional<std::vector<Person>> names;
    // The helper handed over the field's name alone: the converter has no
    // use for its text, only for knowing it is there (a report of fields).
    bool textLeftOut = false;

    bool operator==(const Field &) const = default;
};

// One cleanly parsed entry. Every string holds the parser's bytes unchanged;
// they are usually UTF-8 but nothing guarantees it.
struct Entry {
    std::string type;
    std::string key; // empty for macro definitions and preambles
    std::vector<Field> fields;
    int line = 0; // line of the input on which the entry starts

    bool operator==(const Entry &) const = default;
};

// Receives the entries of one input in input order. "comment" entries and
// entries that did not parse cleanly never reach it.
using EntrySink = std::function<void(Entry &&)>;

// What reading one input produced besides its entries.
struct ReadReport {
    int entriesSkipped = 0; // entries the parser could not parse cleanly
    std::vector<std::string> diagnostics; // the parser's messages, one line each
    std::string error; // empty unless the input as a whole failed

    bool ok() const { return error.empty(); }
};

} // namespace bibsources
