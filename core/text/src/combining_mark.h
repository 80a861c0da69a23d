#pragma once

#include <string>

namespace bibsources {

// Puts `mark` (a combining character) on the first letter of text[from..]:
// that letter, the marks already on it and `mark` are decomposed, put in
// canonical order and composed again (NFC), so "e" with U+0301 becomes "é"
// and "ê" with U+0301 becomes "ế". A dotless ı or ȷ under a mark that goes
// above becomes i or j, as the mark takes the place of the dot.
// Returns false, changing nothing, when text[from..] does not start with a
// letter or a decimal digit (it is empty, not valid UTF-8, a blank, a mark,
// punctuation).
// Text behind the first letter and its marks is kept as it is.
bool addCombiningMark(std::string &text, size_t from, char32_t mark);

} // namespace bibsources
