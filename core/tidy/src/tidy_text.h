#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// What a tidy record says of one parser string: decoded to UTF-8, TeX turned
// into the plain text a reader sees, characters XML forbids removed, blanks
// at either end trimmed and a run of spaces made one, as TeX prints it. Not
// yet escaped.
std::string plainText(std::string_view parserBytes);

// As plainText, for text decoded already (valid UTF-8), which is not checked
// again.
std::string plainTextOfUtf8(std::string_view utf8);

// A field that TeX would read verbatim (url, doi): decoded and stripped like
// plainText, an outer \url{...} unwrapped and the backslash of an escaped
// "_", "%", "&", "#" or "~" dropped, the braced escapes and tildes reference
// managers write ("{\_}", "{~}", "\~{}", "$\sim$") read as the character,
// but no other TeX read, since "~", "--" and "\" mean themselves in an
// address.
std::string verbatimText(std::string_view parserBytes);

// Appends "<b:tag>text</b:tag>\n" with text escaped for XML; nothing at all
// when text is empty, since the format's readers reject some empty elements.
void appendTidyElement(std::string &out, std::string_view tag, std::string_view text);

} // namespace bibsources
