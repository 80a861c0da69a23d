#pragma once

// What other rooms may include of the XML room: the namespace and text sink
// here, the escapes and the element writer, and the one reading of XML
// (readXml, and the tree of elements made from it), whatever parser is
// behind it.

#include "../src/xml_reading.h"
#include "../src/xml_tree.h"
#include "../src/xml_writer.h"

#include <functional>
#include <string_view>

namespace bibsources {

// The namespace of every element of a source list (ECMA-376 bibliography).
constexpr std::string_view bibliographyNamespace
    = "http://schemas.openxmlformats.org/officeDocument/2006/bibliography";

// Receives the text of a document piece by piece, in order.
using TextSink = std::function<void(std::string_view)>;

} // namespace bibsources
