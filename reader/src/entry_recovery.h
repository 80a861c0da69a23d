#pragma once

#include "bibsources/conversion.h"
#include "entry.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources::reader {

// What becomes of an entry the parser could not read, as the converter
// decides it for the parser helper's skipped entries: mended and kept, cut
// where a later line plainly starts another entry, or skipped whole.
struct Recovery {
    std::optional<Entry> kept; // mended: the entry to hand on
    // Where, in the text read for the entry, reading goes on; the text's
    // length when it is not cut.
    std::size_t resumeAt = 0;
    bool skipped = false; // counted as a skipped entry
    std::vector<Message> messages; // in place of the parser's own for this entry
};

// Reads mended entry text alone, with the macros defined so far, from the
// given line; the entry only when it reads cleanly, without a message.
using ReadAlone = std::function<std::optional<Entry>(const std::string &text, int line)>;

// `text` runs from the entry's "@" to where the parser stopped reading for
// it; `atInputEnd` when nothing follows. `said` is what the parser said
// about it.
Recovery recoverEntry(
    std::string_view text, int line, bool atInputEnd, std::vector<Message> said, const ReadAlone &readAlone);

} // namespace bibsources::reader
