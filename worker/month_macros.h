#pragma once

#include "entry.h"
#include "frames.h"

#include <set>
#include <string>

namespace bibsources::worker {

// The twelve month macros (standard_months.h), given to btparse.
//
// They are defined before anything else, so a file's own @string replaces
// them. btparse warns about every replaced definition; replacing one of
// these is ordinary and no news to the user, so that one warning per month
// is taken out of the parser's messages.
class MonthMacros {
public:
    // What to define before the first parser call: the months that
    // `replayed` (an earlier worker's definitions) does not define, then
    // `replayed` itself, so no definition replaces another.
    MacroList definitionsWith(const MacroList &replayed);

    // Called with each macro definition the parser hands back and the
    // messages it printed while parsing it.
    void takeDefinition(const Entry &definition, std::string &diagnostics);

private:
    std::set<std::string> standing; // months still at their standard text
};

} // namespace bibsources::worker
