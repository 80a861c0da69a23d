#include "value_text.h"

#include <algorithm>

namespace bibsources::reader {

void appendStringByte(std::string &text, char byte)
{
    if (byte == '\n') {
        text += ' ';
    } else if (byte != '\r') {
        text += byte;
    }
}

std::string collapsedSpaces(std::string text)
{
    // In place, a word at a time: what is kept never runs ahead of what is
    // read. A text already collapsed, the common one, is never written to.
    const std::string_view read = text;
    std::size_t from = 0;
    std::size_t kept = 0;
    while (from < read.size()) {
        const std::size_t wordStart = std::min(read.find_first_not_of(' ', from), read.size());
        if (wordStart == read.size()) {
            break;
        }
        if (wordStart > from && kept > 0) {
            text[kept++] = ' ';
        }
        const std::size_t wordEnd = std::min(read.find(' ', wordStart), read.size());
        if (kept != wordStart) {
            const auto word = text.begin() + static_cast<std::ptrdiff_t>(wordStart);
            std::copy(word, word + static_cast<std::ptrdiff_t>(wordEnd - wordStart),
                text.begin() + static_cast<std::ptrdiff_t>(kept));
        }
        kept += wordEnd - wordStart;
        from = wordEnd;
    }
    text.resize(kept);
    return text;
}

} // namespace bibsources::reader
