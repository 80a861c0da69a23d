#pragma once

#include "bibsources/conversion.h"

#include <string>
#include <vector>

namespace bibsources {

// What reading one input produced besides its entries, whichever reader
// read it.
struct ReadReport {
    int entriesSkipped = 0; // entries the parser could not parse cleanly
    std::vector<Message> messages; // the parser's, and the reader's own, in order
    // The line where text that is not BibTeX starts, in an input with no
    // entry at all (prose, binary data): text neither blank nor a comment.
    // 0 otherwise.
    int textWithoutEntriesLine = 0;
    std::string error; // empty unless the input as a whole failed

    bool ok() const { return error.empty(); }
};

} // namespace bibsources
