#pragma once

#include "entry.h"
#include "frames.h"
#include "helper_command.h"

#include <cstdio>
#include <functional>
#include <string>

namespace bibsources {

struct ParseStep {
    wire::StepKind outcome = wire::StepKind::Nothing;
    Entry entry; // filled when outcome is Entry; for Skipped only its line
    bool macroDefinition = false; // the entry defines macros: its fields are name/value pairs
};

using StepSink = std::function<void(ParseStep &&)>;

// Runs the parser's entry loop over an open stream in this process, handing
// sink one step per parser call, in input order, and makes the parser's
// end-of-file call afterwards. Contributor fields arrive already split into
// names. `fileName` is what the parser's own messages call the input.
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

// The same loop, reduced to what the converter needs: each cleanly parsed,
// non-comment entry goes to sink; skipped entries are counted in the report.
ReadReport readEntriesFromStream(
    std::FILE *stream, const std::string &fileName, const FieldSelection &fields, const EntrySink &sink);

// Opens `inputPath` ("-" for standard input) and reads it as above. A path
// that is not a regular file, or cannot be opened, is reported in the result.
ReadReport readEntriesInProcess(
    const std::string &inputPath, const FieldSelection &fields, const EntrySink &sink);

} // namespace bibsources
