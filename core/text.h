#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// Every occurrence of `from` in `text` replaced by `to`, scanning left to right
// and continuing behind each replaced occurrence, so inserted text is never
// searched again. An empty `from` leaves the text unchanged.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to);

// The parser's bytes as UTF-8: valid UTF-8 is kept as it is; anything else is
// read as Windows-1252 (the five bytes that code page leaves undefined become
// U+FFFD), so accented letters of Latin-1 files survive.
std::string decodeParserText(std::string_view bytes);

// `utf8` without the characters XML 1.0 forbids: U+0000-U+0008, U+000B, U+000C,
// U+000E-U+001F, U+FFFE and U+FFFF. The argument must be valid UTF-8.
std::string stripXmlForbidden(std::string_view utf8);

// The clean-up of a whole document: every "&" becomes "&amp;" and every braced
// TeX accent macro of the accent table ({\'e}, {\v c}, {\ss}, ...) becomes its
// precomposed letter. Nothing else changes. One left-to-right scan.
std::string cleanupOutput(std::string_view document);

// Element content from one parser string: decoded, stripped of forbidden
// characters, "&", "<" and ">" escaped, and accent macros converted, in one
// scan after decoding. The result is always well-formed XML character data.
std::string xmlContent(std::string_view parserBytes);

// Appends xmlContent(parserBytes) to out, without a string of its own: this
// is what the converter does for every field of a large file.
void appendXmlContent(std::string &out, std::string_view parserBytes);

// As xmlContent, for text that is already valid UTF-8 without forbidden
// characters (used where several decoded tokens are joined first).
std::string escapeAndClean(std::string_view utf8);

} // namespace bibsources
