#include "tidy_text.h"

#include "text.h"
#include "xml.h"

#include <optional>

namespace bibsources {

namespace {

// Printable ASCII without any character TeX gives a meaning of its own
// reads as itself: most years, numbers and many titles. They skip the
// decoding, the TeX reading and the stripping, which would copy them three
// times to change nothing.
bool isPlainAlready(std::string_view text)
{
    for (const char c : text) {
        if (c < 0x20 || c > 0x7e) {
            return false;
        }
        switch (c) {
        case '\\':
        case '{':
        case '}':
        case '~':
        case '-':
        case '$':
        case '`':
        case '\'':
        case '%':
        case '&':
        case '#':
        case '^':
        case '_':
        case '"':
        case '<':
        case '>':
            return false;
        default:
            break;
        }
    }
    return true;
}

// TeX prints a run of spaces as one; the spaces a command such as \par or
// \item leaves beside those of the text would otherwise stay doubled.
std::string withSingleSpaces(std::string_view text)
{
    std::string single;
    single.reserve(text.size());
    for (const char c : text) {
        if (c != ' ' || single.empty() || single.back() != ' ') {
            single += c;
        }
    }
    return single;
}

// How reference managers write a character of an address in TeX: escapes
// in braces, as Mendeley writes them ("nt{\_}eau"), and a tilde as an accent,
// a command or math ("\~{}me", "$\sim$me").
struct LinkSpelling {
    std::string_view written;
    char character;
};

constexpr LinkSpelling linkSpellings[] = {
    {"{\\_}", '_'},
    {"{\\%}", '%'},
    {"{\\&}", '&'},
    {"{\\#}", '#'},
    {"{\\$}", '$'},
    {"{~}", '~'},
    {"{\\~{}}", '~'},
    {"\\~{}", '~'},
    {"{\\textasciitilde}", '~'},
    {"\\textasciitilde{}", '~'},
    {"{$\\sim$}", '~'},
    {"$\\sim$", '~'},
};

std::optional<LinkSpelling> linkSpellingAt(std::string_view text)
{
    if (text.empty() || (text[0] != '{' && text[0] != '\\' && text[0] != '$')) {
        return std::nullopt;
    }
    for (const LinkSpelling &spelling : linkSpellings) {
        if (text.starts_with(spelling.written)) {
            return spelling;
        }
    }
    return std::nullopt;
}

} // namespace

std::string plainText(std::string_view parserBytes)
{
    if (isPlainAlready(parserBytes)) {
        return std::string(trimmed(parserBytes));
    }
    return plainTextOfUtf8(decodeParserText(parserBytes));
}

std::string plainTextOfUtf8(std::string_view utf8)
{
    if (isPlainAlready(utf8)) {
        return std::string(trimmed(utf8));
    }
    // The TeX reading steps a whole character at a time, so what it is given
    // valid it hands on valid.
    return withSingleSpaces(trimmed(stripXmlForbidden(texToText(utf8))));
}

std::string verbatimText(std::string_view parserBytes)
{
    const std::string decoded = stripXmlForbidden(decodeParserText(parserBytes));
    std::string_view text = trimmed(decoded);
    constexpr std::string_view urlCommand = "\\url{";
    if (text.substr(0, urlCommand.size()) == urlCommand && text.back() == '}') {
        text = trimmed(text.substr(urlCommand.size(), text.size() - urlCommand.size() - 1));
    }
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (const std::optional<LinkSpelling> spelling = linkSpellingAt(text.substr(i))) {
            out += spelling->character;
            i += spelling->written.size() - 1;
            continue;
        }
        if (text[i] == '\\' && i + 1 < text.size()
            && std::string_view("_%&#~").find(text[i + 1]) != std::string_view::npos) {
            continue;
        }
        out += text[i];
    }
    return out;
}

void appendTidyElement(std::string &out, std::string_view tag, std::string_view text)
{
    if (!text.empty()) {
        appendTextElement(out, tag, text);
    }
}

} // namespace bibsources
