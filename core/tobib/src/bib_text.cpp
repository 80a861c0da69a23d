#include "bib_text.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace bibsources {

namespace {

std::string_view commandFor(char c)
{
    switch (c) {
    case '\\':
        return "\\textbackslash{}";
    case '{':
        return "\\textbraceleft{}";
    case '}':
        return "\\textbraceright{}";
    case '#':
        return "\\#";
    case '$':
        return "\\$";
    case '%':
        return "\\%";
    case '&':
        return "\\&";
    case '_':
        return "\\_";
    case '~':
        return "\\textasciitilde{}";
    case '^':
        return "\\textasciicircum{}";
    default:
        return {};
    }
}

bool isUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

// A capital anywhere after the word's first byte, or a non-ASCII letter
// (whose case this cannot tell) that is not the first.
bool hasLaterCapital(std::string_view word)
{
    for (size_t i = 1; i < word.size(); ++i) {
        if (isUpper(word[i])) {
            return true;
        }
    }
    return false;
}

bool hasCapital(std::string_view word)
{
    return !word.empty() && (isUpper(word.front()) || hasLaterCapital(word));
}

std::vector<std::string_view> words(std::string_view text)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find(' ', start), text.size());
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

} // namespace

std::string bibValue(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("\u2013")) {
            out += "--";
            i += 2;
        } else if (rest.starts_with("\u2014")) {
            out += "---";
            i += 2;
        } else if (text[i] == ' ' && i > 0 && text[i - 1] == ' ') {
            out += "\\ ";
        } else if (const std::string_view command = commandFor(text[i]); !command.empty()) {
            out += command;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string bibTitle(std::string_view text)
{
    std::string out;
    if (text.empty()) {
        return out;
    }
    bool first = true;
    for (const std::string_view word : words(text)) {
        if (!first) {
            out += ' ';
        }
        if (word.empty()) {
            // With the space before and after it, a second space in a row.
            out += '\\';
            continue;
        }
        const std::string escaped = bibValue(word);
        // A group that begins with a command is a special character to
        // BibTeX, not protected text: those words are left as they are.
        const bool protect = (first ? hasLaterCapital(word) : hasCapital(word)) && !escaped.starts_with('\\');
        out += protect ? "{" + escaped + "}" : escaped;
        first = false;
    }
    return out;
}

std::string bibVerbatim(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        out += c == '{' ? std::string("%7B") : c == '}' ? std::string("%7D") : std::string(1, c);
    }
    return out;
}

std::string bibKept(std::string_view text)
{
    int depth = 0;
    for (const char c : text) {
        depth += c == '{' ? 1 : c == '}' ? -1 : 0;
        if (depth < 0) {
            break;
        }
    }
    return depth == 0 && text.find('\\') == std::string_view::npos ? std::string(text) : bibValue(text);
}

std::string bibKey(std::string_view tag)
{
    static constexpr std::string_view refused = ",{}()\"#%\\";
    std::string key;
    for (const char c : tag) {
        const bool control = static_cast<unsigned char>(c) <= ' ' || c == '\x7f';
        key += control || refused.find(c) != std::string_view::npos ? '_' : c;
    }
    return key.empty() ? "source" : key;
}

} // namespace bibsources
