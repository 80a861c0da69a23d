#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// One field's text cut into its names at "and": the word in any case with a
// space on either side, outside braces. An "and" first or last is part of
// the name beside it. Two delimiters sharing a space ("A and and B") leave a
// name that is not there: nullopt. The views point into the text.
struct NameList {
    std::vector<std::optional<std::string_view>> names;
    std::string diagnostics; // the parser's warnings, one a line
    // A name would end where it starts (a blank before the first "and",
    // after the last, or between two): the parser aborts the process there.
    // Such a name is nullopt here, with the empty name's warning.
    bool parserAborts = false;
};

// nullopt for an empty text, which the parser gives no list for.
std::optional<NameList> splitNameList(std::string_view text);

// The warning the parser prints for a brace without its partner.
std::string unmatchedBraceWarning(char brace);

} // namespace bibsources
