#include "entry_boundary.h"

namespace bibsources {

std::optional<std::uint64_t> EntryEndFinder::step(char c, std::uint64_t offset)
{
    // A line that begins with "@" (after blanks) is where a person starts a
    // new entry; it is the way out when the delimiters are no help.
    if (atOffset && !lineStartAt && atLineStart && c == '@') {
        lineStartAt = offset;
    }
    if (c == '\n') {
        atLineStart = true;
    } else if (c != ' ' && c != '\t' && c != '\r') {
        atLineStart = false;
    }

    switch (state) {
    case State::BeforeAt:
        if (c == '@') {
            atOffset = offset;
            state = State::Header;
        }
        break;
    case State::Header:
        if (c == '{' || c == '(') {
            closer = c == '{' ? '}' : ')';
            state = State::Body;
        } else if (c == '"' || c == '}' || c == ')' || c == '=' || c == ','
            || (c == '@' && offset != *atOffset + 1)) {
            state = State::Fallback;
        }
        // Anything else is the entry type, or blanks around it.
        break;
    case State::Body:
        if (c == '{') {
            ++depth;
        } else if (c == '}' && depth > 0) {
            --depth;
        } else if (c == '"' && depth == 0) {
            inQuote = !inQuote;
        } else if (c == closer && depth == 0 && (!inQuote || closer == '}')) {
            return offset + 1;
        }
        break;
    case State::Fallback:
        if (lineStartAt) {
            return lineStartAt;
        }
        break;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> EntryEndFinder::feed(std::string_view chunk)
{
    for (char c : chunk) {
        const std::uint64_t offset = position++;
        if (std::optional<std::uint64_t> end = step(c, offset)) {
            return end;
        }
        if (state == State::Fallback && lineStartAt) {
            return lineStartAt;
        }
    }
    return std::nullopt;
}

std::uint64_t EntryEndFinder::finish() const
{
    if (lineStartAt && state != State::BeforeAt) {
        return *lineStartAt;
    }
    return position;
}

std::uint64_t nextEntryStart(std::uint64_t consumed, std::string_view tail)
{
    for (std::size_t back = 2; back >= 1; --back) {
        if (tail.size() >= back && consumed >= back && tail[tail.size() - back] == '@') {
            return consumed - back;
        }
    }
    return consumed;
}

} // namespace bibsources
