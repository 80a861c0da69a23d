#pragma once

#include <cstddef>

namespace bibsources::reader {

// The most the reader holds for one entry. Real entries stay far below each;
// only a hostile or broken input reaches them, and then gets a message.
struct ReadLimits {
    std::size_t entryBytes = std::size_t(16) << 20; // the text of one entry, as read
    std::size_t valueBytes = std::size_t(64) << 20; // one value once its macros are expanded
    int braceDepth = 10000; // braces open at once inside one value
};

} // namespace bibsources::reader
