#pragma once

#include "entry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// The people of one author, editor or translator field, split as the parser
// helper splits them: at "and" between blanks, outside braces, in any case;
// each name into First von Last Jr and the comma forms.
struct SplitNames {
    std::optional<std::vector<Person>> people; // nullopt where btparse gives no list
    std::string diagnostics; // what the helper's parser prints while splitting them, line by line
};

SplitNames splitNames(std::string_view text);

} // namespace bibsources
