#include "entry_boundary.h"

#include <cctype>

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

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Entry types are names: a letter, then what btparse allows in a name.
bool startsName(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

bool inName(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0
        || std::string_view("_-:./+'").find(c) != std::string_view::npos;
}

// The "@" of an entry that starts the line beginning at `at`, if it does.
std::optional<std::size_t> entryOnLine(std::string_view text, std::size_t at)
{
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    const std::size_t sign = at;
    if (at >= text.size() || text[at++] != '@') {
        return std::nullopt;
    }
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    if (at >= text.size() || !startsName(text[at])) {
        return std::nullopt;
    }
    while (at < text.size() && inName(text[at])) {
        ++at;
    }
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    if (at < text.size() && (text[at] == '{' || text[at] == '(')) {
        return sign;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::size_t> findEntryLine(std::string_view text, std::size_t limit, bool startsLine)
{
    std::size_t line = 0;
    if (!startsLine) {
        line = text.find('\n');
        if (line == std::string_view::npos) {
            return std::nullopt;
        }
        ++line;
    }
    while (line < limit && line < text.size()) {
        if (const std::optional<std::size_t> sign = entryOnLine(text, line); sign && *sign < limit) {
            return sign;
        }
        const std::size_t feed = text.find('\n', line);
        if (feed == std::string_view::npos) {
            break;
        }
        line = feed + 1;
    }
    return std::nullopt;
}

BodyEnd entryBodyEnd(std::string_view text, std::size_t body, char closer)
{
    long depth = 0;
    bool inQuote = false;
    for (std::size_t i = body + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuote) {
            inQuote = c != '"';
        } else if (c == '{') {
            ++depth;
        } else if (c == '}' && depth > 0) {
            --depth;
        } else if (c == '"' && depth == 0) {
            inQuote = true;
        } else if (c == closer && depth == 0) {
            return BodyEnd{true, false, false};
        }
    }
    return BodyEnd{false, inQuote, depth > 0};
}

std::string_view brokenDelimiters(std::string_view entryText)
{
    const std::size_t body = entryText.find_first_of("{(");
    if (body == std::string_view::npos) {
        return {};
    }
    const BodyEnd end = entryBodyEnd(entryText, body, entryText[body] == '{' ? '}' : ')');
    if (end.closed) {
        return {};
    }
    return end.quoteOpen ? "unterminated quoted value" : "unbalanced braces";
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
