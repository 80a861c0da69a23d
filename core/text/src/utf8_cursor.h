#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace bibsources {

// The one way the text readers step through UTF-8: wherever a reader takes
// "one character" (an accent's argument, the symbol after a backslash, a
// token of math, a character's code after a backquote), it moves with
// nextCharacter, so no reader can cut a character in two.
//
// A scan that only looks for ASCII bytes (braces, dollar signs, backslashes,
// blanks) may go byte by byte: no byte of a multi-byte character is ASCII,
// so such a scan always stops between characters.
//
// The readers are given valid UTF-8 (decodeParserText makes any parser
// bytes so, once, where a field's text enters the mapping). On other bytes
// they still end and never read out of bounds: a byte that starts no valid
// character is taken as a character of its own.

// Where the character that starts at `at` ends: `at` + 1 to 4, never past
// the end of `text`. `at` must lie inside `text`.
size_t nextCharacter(std::string_view text, size_t at);

// How many characters `text` holds.
size_t characterCount(std::string_view text);

// Whether `bytes` are UTF-8 by the strict rule XML readers apply: no
// overlong form, no surrogate, nothing above U+10FFFF, no character cut off.
bool isValidUtf8(std::string_view bytes);

// Appends the UTF-8 bytes of one code point, which must be a Unicode scalar
// value.
void appendUtf8(std::string &out, char32_t codePoint);

} // namespace bibsources
