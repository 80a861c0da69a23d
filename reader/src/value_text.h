#pragma once

#include <string>
#include <string_view>

namespace bibsources::reader {

// Appends one byte of a quoted or braced string as the parser keeps it: a
// line break is a space. (The blanks that indent the next line are the
// caller's to drop.)
void appendStringByte(std::string &text, char byte);

// Each pass of the parser's processing over a string drops a carriage
// return and keeps the byte after it as it is, another one too: a run of n
// of them is n / 2 long after a pass. A string is processed twice; a
// macro's text once more where it is expanded, and a value of more than one
// piece once more when it is pasted.
std::string withCarriageReturnsHalved(std::string text, int passes);

// A value's text with runs of spaces made one and none at either end.
std::string collapsedSpaces(std::string text);

} // namespace bibsources::reader
