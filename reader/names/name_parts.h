#pragma once

#include "entry.h"

#include <string>
#include <string_view>

namespace bibsources {

// One name split into First von Last Jr, as the helper's parser splits it.
//
// White space runs shrink to their first character, leading ones vanish;
// words are cut at spaces and commas outside braces. With no comma: von is
// the first run of lowercase words, Last the words after it (at least the
// final word), First those before it. With commas: "von Last, First" or
// "von Last, Jr, First", a lowercase run counting as von only from the first
// word; a comma past the second becomes a space, commas at the end are
// dropped. Braces keep what they hold in one word; unmatched ones stay in
// the text and are warned of.
struct NameParts {
    Person person;
    std::string diagnostics; // the parser's warnings, one a line
    // Two commas ran together (",,", ", ,", or a third comma in place of a
    // second): the parser counts both but keeps one, and then splits by
    // comma places it never wrote, so its parts are not to be relied on.
    bool commasRanTogether = false;
};

// `number` is the name's place in its list from 0; the parser names it in
// its warnings from the second name on.
NameParts splitNameParts(std::string_view name, size_t number);

} // namespace bibsources
