#pragma once

#include "xml.h"

#include <optional>
#include <string>
#include <string_view>

namespace bibsources {

struct ParsedXml {
    XmlDocumentPtr document;
    std::string error; // empty when parsed; else why not, ending without a full stop

    bool ok() const { return error.empty(); }
};

// Parses a part of a package: well-formed XML in any encoding the format
// allows, with no document type declaration (so nothing a file defines is
// ever expanded) and no network access.
ParsedXml parsePackageXml(std::string_view text);

// The document as UTF-8 text, with its XML declaration.
std::string serializePackageXml(xmlDoc *document);

struct XmlName {
    std::string namespaceUri;
    std::string localName;
};

// The root element of a document, read no further than that element's start
// tag; none when the text does not begin as well-formed XML. A document type
// declaration is passed over, nothing it declares expanded: whether one is
// allowed is for the reader of the whole part to say.
std::optional<XmlName> rootElementName(std::string_view text);

// An attribute of element without a namespace; empty when it has none.
std::string attribute(const xmlNode *element, const char *name);

// Whether node is an element with this local name in this namespace.
bool isElement(const xmlNode *node, std::string_view namespaceUri, std::string_view localName);

} // namespace bibsources
