#include "value_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace bibsources::reader {

void appendStringByte(std::string &text, char byte)
{
    text += byte == '\n' ? ' ' : byte;
}

std::string withCarriageReturnsHalved(std::string text, int passes)
{
    std::size_t kept = 0;
    for (std::size_t at = 0; at < text.size();) {
        if (text[at] != '\r') {
            text[kept++] = text[at++];
            continue;
        }
        const std::size_t run = std::min(text.find_first_not_of('\r', at), text.size()) - at;
        const std::size_t left = run >> passes;
        std::fill_n(text.begin() + static_cast<std::ptrdiff_t>(kept), left, '\r');
        kept += left;
        at += run;
    }
    text.resize(kept);
    return text;
}

namespace {

// Whether two spaces stand side by side, tested eight bytes at a time: the
// blocks overlap by one byte, so that no pair falls between two.
bool holdsTwoSpaces(std::string_view text)
{
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t low7 = 0x7f7f7f7f7f7f7f7f;
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 7) {
        std::uint64_t block = 0;
        std::memcpy(&block, text.substr(at, 8).data(), 8);
        // A byte of `spaced` is 0x80 where the text has a space, else 0.
        const std::uint64_t zeroWhereSpace = block ^ (ones * ' ');
        const std::uint64_t spaced = ~(((zeroWhereSpace & low7) + low7) | zeroWhereSpace) & ~low7;
        if ((spaced & (spaced >> 8)) != 0) {
            return true;
        }
    }
    for (; at + 1 < text.size(); ++at) {
        if (text[at] == ' ' && text[at + 1] == ' ') {
            return true;
        }
    }
    return false;
}

} // namespace

std::string collapsedSpaces(std::string text)
{
    if (text.empty() || (text.front() != ' ' && text.back() != ' ' && !holdsTwoSpaces(text))) {
        return text;
    }
    // In place, a word at a time: what is kept never runs ahead of what is
    // read.
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
