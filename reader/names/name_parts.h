#pragma once

#include "entry.h"

#include <string>
#include <string_view>

namespace bibsources {

// One name split into First von Last Jr, as the helper's parser splits it.
//
// White space before the name vanishes, later runs shrink to their first
// character;
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
    // The parser's count of commas is not the commas left in the text: two
    // ran together (",,", ", ,", or a third in place of a second) and count
    // as two, or commas dropped at the end inside an open brace counted off
    // below zero. It then splits by comma places it never wrote, so its
    // parts are not to be relied on; here the commas left decide.
    bool commasMiscounted = false;
    // The parser drops carriage returns from a name with more than two
    // commas, and one at its very end makes it read on past the name into
    // memory it does not own. Here that memory reads as NULs, as it mostly
    // does there.
    bool readsPastName = false;
};

// `number` is the name's place in its list from 0; the parser names it in
// its warnings from the second name on.
NameParts splitNameParts(std::string_view name, size_t number);

} // namespace bibsources
