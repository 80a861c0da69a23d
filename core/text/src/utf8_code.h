#pragma once

#include <cstddef>

namespace bibsources {

// The two steps of UTF-8 that the cursor (utf8_cursor.h) is built on: by
// utf8proc in the programs, in the browser by utf8_code_browser.cpp.

// The length of the valid character at the start of `bytes`, or 0 when none
// starts there (the strict rule: no overlong forms, no surrogates, nothing
// past U+10FFFF).
size_t validCharacterLength(const unsigned char *bytes, size_t size);

// Writes the UTF-8 of a code point (at most U+10FFFF) to `out`; returns how
// many bytes.
size_t encodedUtf8(char32_t codePoint, char out[4]);

} // namespace bibsources
