#pragma once

#include "bibsources/conversion.h"

#include <cstddef>
#include <vector>

namespace bibsources {

// The messages of one input, up to a cap, whichever reader reads it: a file
// of nothing but errors must not fill memory with them. The first 10,000
// are kept, each cut to its first 1,000 bytes; the rest are counted, and
// one closing line says how many there were.
class MessageCap {
public:
    void add(Message &&message);

    // The messages kept, in order, and the closing line if any were not.
    std::vector<Message> finish() &&;

private:
    std::vector<Message> kept;
    std::size_t dropped = 0;
};

} // namespace bibsources
