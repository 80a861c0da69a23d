#pragma once

#include "entry.h"
#include "frames.h"
#include "helper_command.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace bibsources {

struct ParseStep {
    wire::StepKind outcome = wire::StepKind::Nothing;
    Entry entry; // filled when outcome is Entry; for Skipped only its line
    bool macroDefinition = false; // the entry defines macros: its fields are name/value pairs
};

using StepSink = std::function<void(ParseStep &&)>;

// Runs the parser's entry loop over an open stream in this process, handing
// sink one step per parser call, in input order, and makes the parser's
// end-of-file call afterwards. Fields the settings name as lists of people
// arrive already split into names. `fileName` is what the parser's own messages call the input.
// Returns false when the stream reported a read error.
//
// btparse is not safe against hostile input (it can crash or exit) and keeps
// process-wide state; the converter therefore runs this inside the worker
// process, and only the worker and tests call it directly.
struct ParseSettings {
    // The fields each entry keeps, and those split into names.
    FieldSelection fields;
    // Defined before the first call, as if the input had defined them earlier.
    MacroList macros;
    // False: macro definitions are parsed and handed on but not remembered.
    // btparse ends the process once its table of macro names is full; after
    // that only this keeps the rest of the input readable.
    bool storeMacros = true;
};

bool parseStream(
    std::FILE *stream, const std::string &fileName, const ParseSettings &settings, const StepSink &sink);

// The people of one contributor field, split by btparse: nullopt where it
// gives no list, an empty person for an empty name ("A and and B"). Names
// the splitter would crash on are split by personWithoutLastName instead,
// and those it would split by memory it never wrote by the reader's own
// splitter (splitNameParts), which prints btparse's warnings for them.
// What btparse prints while splitting goes to standard error.
std::optional<std::vector<Person>> splitNamesWithBtparse(const char *text);

} // namespace bibsources
