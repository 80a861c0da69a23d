#include "name_list.h"

namespace bibsources {

namespace {

// An unmatched '}' is reported where it stands and does not count; an
// unmatched '{' once, at the end.
std::string braceWarnings(std::string_view text)
{
    std::string warnings;
    int depth = 0;
    for (const char c : text) {
        if (c == '{') {
            ++depth;
        } else if (c == '}' && depth == 0) {
            warnings += unmatchedBraceWarning('}');
        } else if (c == '}') {
            --depth;
        }
    }
    if (depth > 0) {
        warnings += unmatchedBraceWarning('{');
    }
    return warnings;
}

bool isAnd(std::string_view text, size_t at)
{
    if (at == 0 || at + 4 > text.size() || text[at - 1] != ' ' || text[at + 3] != ' ') {
        return false;
    }
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 'a' - 'A') : c; };
    return lower(text[at]) == 'a' && lower(text[at + 1]) == 'n' && lower(text[at + 2]) == 'd';
}

// Where each delimiting "and" starts.
std::vector<size_t> delimiters(std::string_view text)
{
    std::vector<size_t> found;
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '{') {
            ++depth;
        } else if (text[i] == '}') {
            depth -= depth > 0 ? 1 : 0;
        } else if (depth == 0 && (text[i] == 'a' || text[i] == 'A') && isAnd(text, i)) {
            found.push_back(i);
        }
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
    NameList list{{}, braceWarnings(text)};
    const std::vector<size_t> ands = delimiters(text);
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
