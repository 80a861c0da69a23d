#pragma once

#include "document.h"
#include "entry.h"

#include <string>
#include <vector>

namespace bibsources {

struct TidyReport {
    int recordsWritten = 0;
    std::vector<std::string> messages; // one line per generated tag or missing crossref
};

// Hands sink the tidy record of every entry of one input, in input order.
// `entries` are all the entries read from the file at `inputPath` ("-" for
// standard input), since a crossref may name an entry anywhere in it.
//
// Macro definitions and preambles write no record. A child entry takes every
// field it lacks from the entry its crossref names, and the parent's title
// as its booktitle. An entry without a key, or with one an earlier entry
// already has (in any case), is tagged with its first contributor's last name
// and its year, followed by "a", "b", ... when that tag is taken; each such
// entry adds a message. Every b:Guid is made from the input's file name and
// the tag, so no two records of one input share one.
TidyReport writeTidyRecords(
    const std::string &inputPath, const std::vector<Entry> &entries, const TextSink &sink);

} // namespace bibsources
