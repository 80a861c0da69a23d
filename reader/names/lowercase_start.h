#pragma once

#include <string_view>

namespace bibsources {

// Whether a word counts as lowercase where a name's "von" part is sought:
// its first character is a lowercase letter (a to z, or a lowercase letter
// beyond ASCII in UTF-8), as the helper's parser decides it. Only the first
// four bytes matter, and a word shorter than that ends at its end: a
// character the word cuts off is not lowercase. A brace or a backslash first
// is not a letter, so "{\"o}" and "{\relax x}" are never lowercase.
bool startsLowercase(std::string_view word);

} // namespace bibsources
