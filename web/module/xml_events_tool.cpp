// What the page's readXml tells of a document, one line an event
// (describeXmlEvents), for the test that holds it to the golden files
// libxml2's reading wrote, and how many events it tells, for the benchmark
// of the reading alone: a module for node, given the page's XML parser as
// Module.xmlParser, as the page's worker gives it.
#include "xml_event_dump.h"

#include <emscripten/bind.h>

#include <string>
#include <string_view>

namespace {

std::string describe(const std::string &text, bool allowDocumentType, bool lifted, unsigned stopAt)
{
    bibsources::XmlReadOptions options;
    options.allowDocumentType = allowDocumentType;
    options.lifted = lifted;
    return bibsources::describeXmlEvents(text, options, stopAt);
}

// Counts what a reading tells, and the bytes of its text, which every
// event is asked for, as a reader that keeps them would.
class EventCount : public bibsources::XmlHandler {
public:
    bool startElement(const bibsources::XmlStartTag &tag) override
    {
        ++events;
        bytes += tag.localName.size();
        for (const bibsources::XmlAttribute &attribute : tag.attributes) {
            bytes += attribute.value.size();
        }
        return true;
    }
    bool endElement(const bibsources::XmlEndTag &) override { return ++events, true; }
    bool text(std::string_view characters) override
    {
        bytes += characters.size();
        return ++events, true;
    }

    double events = 0;
    double bytes = 0;
};

// {events, bytes, wellFormed}
emscripten::val countEvents(const std::string &text)
{
    EventCount count;
    const bibsources::XmlReadResult result = bibsources::readXml(text, count);
    emscripten::val counted = emscripten::val::object();
    counted.set("events", count.events);
    counted.set("bytes", count.bytes);
    counted.set("wellFormed", result.wellFormed());
    return counted;
}

} // namespace

EMSCRIPTEN_BINDINGS(xml_events)
{
    emscripten::function("describeXmlEvents", &describe);
    emscripten::function("countXmlEvents", &countEvents);
}
