#pragma once

#include "entry.h"

#include <functional>
#include <string>
#include <vector>

namespace bibsources {

// What reading one input produced besides its entries.
struct ReadReport {
    int entriesSkipped = 0;               // entries the parser could not parse cleanly
    std::vector<std::string> diagnostics; // the parser's messages, one line each
    std::string error;                    // empty unless the input as a whole failed

    bool ok() const { return error.empty(); }
};

// Receives the entries of one input in input order. "comment" entries and
// entries that did not parse cleanly never reach it.
using EntrySink = std::function<void(Entry &&)>;

// Reads every entry of the BibTeX file at inputPath ("-" is standard input)
// and hands each to sink. Never throws; a file that cannot be opened or read
// is reported in the result's error, and then sink may have seen some entries.
ReadReport readEntries(const std::string &inputPath, const EntrySink &sink);

} // namespace bibsources
