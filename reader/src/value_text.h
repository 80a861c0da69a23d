#pragma once

#include <string>
#include <string_view>

namespace bibsources::reader {

// Appends one byte of a quoted or braced string as the parser keeps it: a
// line break is a space, carriage returns, vertical tabs and form feeds are
// dropped.
void appendStringByte(std::string &text, char byte);

// A value's text with runs of spaces made one and none at either end.
std::string collapsedSpaces(std::string_view text);

} // namespace bibsources::reader
