#pragma once

#include "xml.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bibsources {

struct ParsedXml {
    XmlTree tree;
    std::string error; // empty when parsed; else why not, ending without a full stop

    bool ok() const { return error.empty(); }
};

// Parses a part of a package: well-formed XML in any encoding the format
// allows, with no document type declaration (so nothing a file defines is
// ever expanded) and no network access.
ParsedXml parsePackageXml(std::string_view text);

struct XmlName {
    std::string namespaceUri;
    std::string localName;
};

// The root element of a document, read no further than that element's start
// tag; none when the text does not begin as well-formed XML. A document type
// declaration is passed over, nothing it declares expanded: whether one is
// allowed is for the reader of the whole part to say.
std::optional<XmlName> rootElementName(std::string_view text);

// Whether element is there and has this local name in this namespace.
bool isElement(const XmlElement *element, std::string_view namespaceUri, std::string_view localName);

// A part's text with some of its bytes replaced, every other byte kept. The
// spans are taken out of the text as it was read; none may overlap another.
class PartEdits {
public:
    void replace(size_t begin, size_t end, std::string replacement);
    void insert(size_t at, std::string text) { replace(at, at, std::move(text)); }
    std::string appliedTo(std::string_view text) const;

private:
    struct Edit {
        size_t begin;
        size_t end;
        std::string replacement;
    };
    std::vector<Edit> edits;
};

// Adds children (elements written out) after element's last child, with
// the edit that makes room for them: an empty element (<name/>) is opened
// (<name>...</name>), which moves nothing before it.
void appendChildren(PartEdits &edits, const XmlElement &element, std::string children);

// A new empty child of parent, under parent's prefix (so in its namespace),
// with these attributes in no namespace, as text: <p:name a="v"/>.
std::string emptyChildText(const XmlElement &parent, std::string_view localName,
    std::initializer_list<std::pair<std::string_view, std::string_view>> attributes);

// The start tag of element with one attribute in no namespace set to value,
// added when it has none; the others as they read.
std::string startTagWith(const XmlElement &element, std::string_view name, std::string_view value);

} // namespace bibsources
