#pragma once

// Reads BibTeX held in memory, in this process, with the entries, skips and
// messages that reading the same input through the parser helper gives. No
// system calls and no state beyond one call, so it can run wherever C++ does.

#include "bibsources/conversion.h"
#include "entry.h"
#include "helper_command.h"
#include "read_report.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace bibsources {

struct BibReadSettings {
    std::string name; // what messages call the input: its path, or "(standard input)"
    FieldSelection fields; // the fields each entry keeps, as the helper is told
    // Called now and then with how far into the input the reader has come.
    std::function<void(std::uint64_t bytesRead, std::uint64_t bytesTotal)> progress;
    // Asked now and then; once true, the read ends with an error.
    std::function<bool()> stopRequested;
};

// The next slice of the input; an empty one at its end. A slice stays valid
// until the next call. Only the slices of the entry being read are held.
using BibSlices = std::function<std::string_view()>;

// Reads an input of `inputSize` bytes (after any byte-order mark) and hands
// its entries to sink in input order; the rest of what it found is reported
// as the helper's reading is, messages worded alike.
ReadReport readBib(
    const BibSlices &input, std::uint64_t inputSize, const BibReadSettings &settings, const EntrySink &sink);

} // namespace bibsources
