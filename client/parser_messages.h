#pragma once

#include "bibsources/conversion.h"

#include <string_view>

namespace bibsources {

// One line the parser wrote about the input it knows as `parserName`, as a
// message: "NAME, line 12, syntax error: ..." is about line 12, with the
// text after the line; "NAME: text" and a line that names no input (the
// lexer's "invalid token near line 2 ...") are about no line in particular.
Message parserMessage(std::string_view line, std::string_view parserName);

// A message the parser gave while skipping the entry that starts on
// `entryLine`: what it says of the end of the input (the entry was left
// open) names that line as well, since the line of the end points nowhere
// near the entry. Any other message, and one already on that line, is
// returned as it is; 0 names no entry.
Message withEntryLine(Message message, int entryLine);

} // namespace bibsources
