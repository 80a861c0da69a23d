// What the page's readXml tells of a document, one line an event
// (describeXmlEvents), for the test that holds it to the golden files
// libxml2's reading wrote: an ES module for node, given the page's XML
// parser as Module.xmlParser, as the page's worker gives it.
#include "xml_event_dump.h"

#include <emscripten/bind.h>

#include <string>

namespace {

std::string describe(const std::string &text, bool allowDocumentType, bool lifted, unsigned stopAt)
{
    bibsources::XmlReadOptions options;
    options.allowDocumentType = allowDocumentType;
    options.lifted = lifted;
    return bibsources::describeXmlEvents(text, options, stopAt);
}

} // namespace

EMSCRIPTEN_BINDINGS(xml_events)
{
    emscripten::function("describeXmlEvents", &describe);
}
