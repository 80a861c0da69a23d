#include "package_xml.h"

#include <climits>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

namespace bibsources {

namespace {

constexpr int parseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

// The parser's user data is its own context in the tree-building mode.
void refuseDocumentType(void *context, const xmlChar *, const xmlChar *, const xmlChar *)
{
    auto *parser = static_cast<xmlParserCtxt *>(context);
    parser->_private = parser; // marks the refusal
    xmlStopParser(parser);
}

void initialiseOnce()
{
    // libxml2 sets up its tables on first use, which two threads could race
    // over; a static's initialisation happens once.
    static const bool initialised = (xmlInitParser(), true);
    (void)initialised;
}

std::string view(const xmlChar *text)
{
    return text ? std::string(reinterpret_cast<const char *>(text)) : std::string();
}

} // namespace

ParsedXml parsePackageXml(std::string_view text)
{
    ParsedXml parsed;
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        parsed.error = "it is too large";
        return parsed;
    }
    initialiseOnce();
    ParserContextPtr context(xmlNewParserCtxt());
    if (!context) {
        parsed.error = "out of memory";
        return parsed;
    }
    context->sax->internalSubset = refuseDocumentType;
    parsed.document.reset(xmlCtxtReadMemory(
        context.get(), text.data(), static_cast<int>(text.size()), nullptr, nullptr, parseOptions));
    if (context->_private) {
        parsed.document.reset();
        parsed.error = "it has a document type declaration";
    } else if (!parsed.document || !context->wellFormed) {
        parsed.document.reset();
        const xmlError *error = xmlCtxtGetLastError(context.get());
        std::string reason = error && error->message ? error->message : "it is not well-formed XML";
        while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) {
            reason.pop_back();
        }
        parsed.error = error ? "line " + std::to_string(error->line) + ": " + reason : reason;
    }
    return parsed;
}

std::string serializePackageXml(xmlDoc *document)
{
    xmlChar *bytes = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(document, &bytes, &size, "UTF-8");
    const XmlTextPtr owned(bytes);
    return bytes ? std::string(reinterpret_cast<const char *>(bytes), static_cast<std::size_t>(size))
                 : std::string();
}

std::optional<XmlName> rootElementName(std::string_view text)
{
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    initialiseOnce();
    // Called back for the root's start tag, which is all we want: whatever
    // follows it, well-formed or not, is not read. A document type
    // declaration before it is passed over: without callbacks for its
    // declarations nothing in it is kept, so nothing can be expanded.
    struct Found {
        xmlParserCtxt *context = nullptr;
        std::optional<XmlName> root;
    } found;
    xmlSAXHandler callbacks{};
    callbacks.initialized = XML_SAX2_MAGIC;
    callbacks.startElementNs = [](void *user, const xmlChar *localName, const xmlChar *, const xmlChar *uri,
                                   int, const xmlChar **, int, int, const xmlChar **) {
        Found &state = *static_cast<Found *>(user);
        state.root = XmlName{view(uri), view(localName)};
        xmlStopParser(state.context);
    };
    callbacks.serror = [](void *, xmlError *) {};
    ParserContextPtr context(xmlCreateMemoryParserCtxt(text.data(), static_cast<int>(text.size())));
    if (!context) {
        return std::nullopt;
    }
    xmlCtxtUseOptions(context.get(), parseOptions);
    *context->sax = callbacks;
    context->userData = &found;
    found.context = context.get();
    xmlParseDocument(context.get());
    return found.root;
}

std::string attribute(const xmlNode *element, const char *name)
{
    const XmlTextPtr value(xmlGetNoNsProp(element, reinterpret_cast<const xmlChar *>(name)));
    return view(value.get());
}

bool isElement(const xmlNode *node, std::string_view namespaceUri, std::string_view localName)
{
    return node && node->type == XML_ELEMENT_NODE && node->ns && view(node->ns->href) == namespaceUri
        && view(node->name) == localName;
}

} // namespace bibsources
