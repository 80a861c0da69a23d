#pragma once

// What other rooms may include of the text room: field text to element content
// here, TeX text to Unicode, and the commands a LaTeX file defines.

#include "../src/tex_definitions.h"
#include "../src/tex_text.h"

#include <string>
#include <string_view>

namespace bibsources {

// `text` without blanks (space, tab, line feed, carriage return) at either end.
std::string_view trimmed(std::string_view text);

// The parser's bytes as UTF-8: valid UTF-8 is kept as it is; anything else is
// read as Windows-1252 (the five bytes that code page leaves undefined become
// U+FFFD), so accented letters of Latin-1 files survive.
std::string decodeParserText(std::string_view bytes);

// `utf8` without the characters XML 1.0 forbids: U+0000-U+0008, U+000B, U+000C,
// U+000E-U+001F, U+FFFE and U+FFFF. The argument must be valid UTF-8.
std::string stripXmlForbidden(std::string_view utf8);

// The clean-up of a whole document, the form the tests check the scan in: every "&" becomes "&amp;" and every
// braced TeX accent macro of the accent table ({\'e}, {\v c}, {\ss}, ...) becomes its precomposed letter.
// Nothing else changes. One left-to-right scan.
std::string cleanupOutput(std::string_view document);

// Appends element content made from one parser string to out: decoded,
// stripped of forbidden characters, "&", "<" and ">" escaped, and accent
// macros converted, in one scan after decoding. The result is always
// well-formed XML character data, and no string of its own is made: this is
// what the converter does for every field of a large file.
void appendXmlContent(std::string &out, std::string_view parserBytes);

// As appendXmlContent, for text that is already valid UTF-8 without forbidden
// characters (used where several decoded tokens are joined first).
std::string escapeAndClean(std::string_view utf8);

// The length of the valid UTF-8 character at the start of `bytes`, or 0 when
// none starts there (no overlong forms, no surrogates, nothing past U+10FFFF).
size_t utf8CharacterLength(std::string_view bytes);

// A word as it is looked up in a table of words: case folded and accents
// dropped, so "März", "MARZ" and "marz" all give "marz". Empty when the
// word is not valid UTF-8.
std::string foldedText(std::string_view word);

} // namespace bibsources
