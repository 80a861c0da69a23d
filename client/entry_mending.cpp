#include "entry_mending.h"

#include "entry_boundary.h"

#include <cctype>

namespace bibsources {

namespace {

constexpr std::string_view forbiddenInKey = "()\"#%=";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isNameCharacter(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '-' || c == ':' || c == '.';
}

// Whether `body` (what follows the entry's opening brace) starts with a
// field, "name =", where its key belongs.
bool startsWithField(std::string_view body)
{
    std::size_t i = 0;
    while (i < body.size() && isBlank(body[i])) {
        ++i;
    }
    const std::size_t nameStart = i;
    while (i < body.size() && isNameCharacter(body[i])) {
        ++i;
    }
    if (i == nameStart || std::isalpha(static_cast<unsigned char>(body[nameStart])) == 0) {
        return false;
    }
    while (i < body.size() && isBlank(body[i])) {
        ++i;
    }
    return i < body.size() && body[i] == '=';
}

} // namespace

std::optional<MendedEntry> mendEntry(std::string_view entryText)
{
    const std::size_t body = entryText.find_first_of("{(");
    if (body == std::string_view::npos || entryText.find('@') > body) {
        return std::nullopt;
    }
    MendedEntry mended;
    std::string_view rest = entryText.substr(body + 1);
    const std::size_t keyEnd = rest.find(',');
    const std::string_view key = rest.substr(0, keyEnd);
    const bool oddKey = entryText[body] == '{' && keyEnd != std::string_view::npos
        && key.find_first_of(forbiddenInKey) != std::string_view::npos
        && key.find_first_of(" \t\r\n{}") == std::string_view::npos;
    const bool noKey = !oddKey && startsWithField(rest);
    mended.text = entryText.substr(0, body + 1);
    if (oddKey) {
        mended.key = std::string(key);
        mended.text += standInKey;
        rest.remove_prefix(keyEnd);
    } else if (noKey) {
        mended.key = std::string();
        mended.text += standInKey;
        mended.text += ',';
    }
    mended.text += rest;
    const char closer = entryText[body] == '{' ? '}' : ')';
    const BodyEnd end = entryBodyEnd(mended.text, body, closer);
    if (!end.closed && !end.quoteOpen && !end.braceOpen) {
        while (!mended.text.empty() && isBlank(mended.text.back())) {
            mended.text.pop_back();
        }
        mended.text += closer;
        mended.text += '\n';
        mended.closed = true;
    }
    if (!mended.key && !mended.closed) {
        return std::nullopt;
    }
    return mended;
}

bool valueHoldsAField(const Entry &entry)
{
    for (const Field &field : entry.fields) {
        const std::string_view text = field.text;
        for (std::size_t at = text.find_first_of(",\n"); at != std::string_view::npos;
             at = text.find_first_of(",\n", at + 1)) {
            std::size_t i = at + 1;
            while (i < text.size() && isBlank(text[i])) {
                ++i;
            }
            const std::size_t nameStart = i;
            while (i < text.size() && isNameCharacter(text[i])) {
                ++i;
            }
            const bool named = i > nameStart && std::isalpha(static_cast<unsigned char>(text[nameStart]));
            while (i < text.size() && isBlank(text[i])) {
                ++i;
            }
            if (named && i < text.size() && text[i] == '=') {
                return true;
            }
        }
    }
    return false;
}

} // namespace bibsources
