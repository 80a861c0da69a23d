#pragma once

#include <bibsources/conversion.h>

#include <string>

namespace bibsources {

// What came of a run, as the JSON text of the object the page reads:
// {error, document, inputs: [{inputPath, recordsWritten, entriesSkipped,
// error, messages: [{line, lastLine, kind, text, shown}]}], merge}. The
// worker parses it in one step; built as JavaScript objects from the module,
// every property of every message would be a call of its own.
std::string resultJson(const ConversionResult &result);

} // namespace bibsources
