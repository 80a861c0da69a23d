#pragma once

#include "xml_reading.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace bibsources {

// A document read whole, for the rooms that look at an element's children
// rather than hear of elements one by one: elements, their attributes and
// their text, each element with the bytes it spans. Built from readXml's
// events alone, so it is the same whatever parser sits behind it. Comments
// and processing instructions are not kept.

struct XmlTreeDeclaration {
    std::string_view prefix; // "" for the default namespace
    std::string_view uri;
};

struct XmlTreeAttribute {
    std::string_view prefix;
    std::string_view localName;
    std::string_view namespaceUri;
    std::string value; // references decoded
};

// Names and namespaces are views of strings the tree keeps once each.
struct XmlElement {
    std::string_view prefix;
    std::string_view localName;
    std::string_view namespaceUri;
    std::vector<XmlTreeDeclaration> declarations;
    std::vector<XmlTreeAttribute> attributes;
    std::vector<XmlElement> children;
    std::string text; // its own character data, children's not included, runs joined
    size_t textBefore = 0; // how much of its parent's text comes before it
    // As readXml gives them: the '<' of its start tag, just past that tag's
    // '>', the '<' of its end tag and just past its '>'. An empty element
    // (<name/>) has no end tag: its endTagBegin is its begin.
    size_t begin = 0;
    size_t startTagEnd = 0;
    size_t endTagBegin = 0;
    size_t end = 0;
    bool empty = false;

    bool is(std::string_view uri, std::string_view name) const
    {
        return namespaceUri == uri && localName == name;
    }
    // The value of its attribute of this name in no namespace; empty when
    // it has none.
    std::string attribute(std::string_view name) const;
    // All the text within it, its children's included, in document order.
    std::string content() const;
    std::string qualifiedName() const;
};

class XmlTree {
public:
    XmlTree() = default;
    XmlTree(const XmlTree &) = delete; // the elements' views point into names
    XmlTree &operator=(const XmlTree &) = delete;
    XmlTree(XmlTree &&) = default;
    XmlTree &operator=(XmlTree &&) = default;

    XmlReadResult read;
    XmlElement root; // valid when ok()

    bool ok() const { return read.wellFormed() && !read.stopped && hasRoot; }

private:
    friend class XmlTreeBuilder;
    bool hasRoot = false;
    // Node-based: a name keeps its place however many are added or the tree moves.
    std::unique_ptr<std::unordered_set<std::string>> names
        = std::make_unique<std::unordered_set<std::string>>();
};

// Reads text whole, as readXml reads it.
XmlTree readXmlTree(std::string_view text, XmlReadOptions options = {});

// The start tag of element as we write it: its declarations, then its
// attributes, each value escaped; "/>" when it is empty.
std::string xmlStartTagText(const XmlElement &element);

// The document written anew in UTF-8, with an XML declaration: for a part
// in another encoding, whose bytes cannot be edited in place.
std::string xmlTreeText(const XmlTree &tree);

} // namespace bibsources
