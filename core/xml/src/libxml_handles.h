#pragma once

#include <memory>

#include <libxml/parser.h>
#include <libxml/tree.h>

namespace bibsources {

// Owners of what libxml2 hands out, for every room that reads XML.
struct XmlParserFree {
    void operator()(xmlParserCtxt *context) const { xmlFreeParserCtxt(context); }
};
using ParserContextPtr = std::unique_ptr<xmlParserCtxt, XmlParserFree>;

struct XmlDocumentFree {
    void operator()(xmlDoc *document) const { xmlFreeDoc(document); }
};
using XmlDocumentPtr = std::unique_ptr<xmlDoc, XmlDocumentFree>;

struct XmlTextFree {
    void operator()(xmlChar *text) const { xmlFree(text); }
};
using XmlTextPtr = std::unique_ptr<xmlChar, XmlTextFree>;

// A SAX2 handler that hears of elements and of their text, CDATA sections
// included; anything else it should hear of is the caller's to add.
inline xmlSAXHandler elementHandler(
    startElementNsSAX2Func start, endElementNsSAX2Func end, charactersSAXFunc characters)
{
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = start;
    handler.endElementNs = end;
    handler.characters = characters;
    handler.cdataBlock = characters;
    return handler;
}

} // namespace bibsources
