#include "value_text.h"

namespace bibsources::reader {

void appendStringByte(std::string &text, char byte)
{
    if (byte == '\n') {
        text += ' ';
    } else if (byte != '\r') {
        text += byte;
    }
}

std::string collapsedSpaces(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    for (const char byte : text) {
        if (byte == ' ') {
            pendingSpace = !out.empty();
            continue;
        }
        if (pendingSpace) {
            out += ' ';
            pendingSpace = false;
        }
        out += byte;
    }
    return out;
}

} // namespace bibsources::reader
