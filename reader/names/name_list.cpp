#include "name_list.h"

#include <array>

namespace bibsources {

namespace {

bool isAnd(std::string_view text, size_t at)
{
    if (at == 0 || at + 4 > text.size() || text[at - 1] != ' ' || text[at + 3] != ' ') {
        return false;
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 'a' - 'A') : c; };
    return lower(text[at]) == 'a' && lower(text[at + 1]) == 'n' && lower(text[at + 2]) == 'd';
}

// The bytes that matter to finding the "and"s and the braces.
constexpr std::array<bool, 256> marks = [] {
    std::array<bool, 256> set{};
    for (const unsigned char c : std::string_view("{}aA")) {
        set[c] = true;
    }
    return set;
}();

// What one pass over a field's text finds: where each delimiting "and"
// starts, and the warnings for braces without a partner. An unmatched '}'
// is reported where it stands and does not count; an unmatched '{' once, at
// the end.
struct Delimiting {
    std::vector<size_t> ands;
    std::string braceWarnings;
};

Delimiting delimiting(std::string_view text)
{
    Delimiting found;
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!marks[static_cast<unsigned char>(c)]) {
            continue;
        }
        if (c == '{') {
            ++depth;
        } else if (c == '}' && depth == 0) {
            found.braceWarnings += unmatchedBraceWarning('}');
        } else if (c == '}') {
            --depth;
        } else if (depth == 0 && isAnd(text, i)) {
            found.ands.push_back(i);
        }
    }
    if (depth > 0) {
        found.braceWarnings += unmatchedBraceWarning('{');
    }
    return found;
}

std::string emptyNameWarning(size_t index)
{
    return "name " + std::to_string(index + 1) + ", warning: empty name\n";
}

} // namespace

std::string unmatchedBraceWarning(char brace)
{
    return std::string("warning: unmatched '") + brace + "' (ignoring)\n";
}

std::optional<NameList> splitNameList(std::string_view text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    Delimiting found = delimiting(text);
    NameList list{{}, std::move(found.braceWarnings)};
    const std::vector<size_t> &ands = found.ands;
    list.names.reserve(ands.size() + 1);
    size_t start = 0;
    // Each name runs to the space before the next "and"; the next one starts
    // after the space that follows it.
    const auto take = [&](size_t end) {
        list.parserAborts = list.parserAborts || end == start;
        if (end <= start) {
            list.diagnostics += emptyNameWarning(list.names.size());
            list.names.emplace_back(std::nullopt);
        } else {
            list.names.emplace_back(text.substr(start, end - start));
        }
    };
    for (const size_t at : ands) {
        take(at - 1);
        start = at + 4;
    }
    take(text.size());
    return list;
}

} // namespace bibsources
