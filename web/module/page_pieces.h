#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// Text for the page, handed over in pieces of about a megabyte as it is
// made, so that a large text is never held whole in the module's memory.
class PagePieces {
public:
    // Gives the page `length` bytes at `bytes`; they are copied before it returns.
    using HandOver = void (*)(const char *bytes, int length);

    explicit PagePieces(HandOver handOver)
        : handOver(handOver)
    {
    }

    void append(std::string_view text);
    // Hands over what is left.
    void flush();

private:
    HandOver handOver;
    std::string piece;
};

} // namespace bibsources
