#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// A word as it is looked up in a table of words: case folded and accents
// dropped, so "März", "MARZ" and "marz" all give "marz". Empty when the
// word is not valid UTF-8.
std::string foldedText(std::string_view word);

} // namespace bibsources
