#pragma once

#include <string>
#include <string_view>

namespace bibsources::reader {

// Appends one byte of a quoted or braced string as the parser keeps it: a
// line break is a space, a carriage return is dropped. (The blanks that
// indent the next line are the caller's to drop.)
void appendStringByte(std::string &text, char byte);

// A value's text with runs of spaces made one and none at either end.
std::string collapsedSpaces(std::string text);

} // namespace bibsources::reader
