#pragma once

#include "bibsources/conversion.h"

#include <string_view>

namespace bibsources {

// One line the parser wrote about the input it knows as `parserName`, as a
// message: "NAME, line 12, syntax error: ..." is about line 12, with the
// text after the line; "NAME: text" and a line that names no input (the
// lexer's "invalid token near line 2 ...") are about no line in particular.
Message parserMessage(std::string_view line, std::string_view parserName);

} // namespace bibsources
