#pragma once

#include "xml_reading.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace bibsources {

// What readXml tells of text, one line an event, for tests that hold the
// parsers to each other and to golden files:
//
//   start b:Source {http://...} @12-40 empty
//     xmlns:b=http://...
//     attr w:val {http://...} "value"
//   text "Ab\n"              (a run of text, its pieces joined; \n \t \" \\ \xHH escaped)
//   end b:Source {http://...} @12-40
//   result well-formed | result <kind> line N [mismatch <a> </b> of line M] [limit N]
//          [stopped] [encoding NAME]
//
// The parser's own words for an error are left out: they are not the same
// from parser to parser. The handler stops the reading at the event
// numbered stopAt (from 1) when one is given, as the last it tells.
std::string describeXmlEvents(std::string_view text, XmlReadOptions options = {}, std::size_t stopAt = 0);

} // namespace bibsources
