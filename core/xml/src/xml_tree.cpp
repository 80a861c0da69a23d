#include "xml_tree.h"

#include "xml_writer.h"

namespace bibsources {

std::string XmlElement::attribute(std::string_view name) const
{
    for (const XmlTreeAttribute &candidate : attributes) {
        if (candidate.namespaceUri.empty() && candidate.localName == name) {
            return candidate.value;
        }
    }
    return {};
}

namespace {

void appendContent(std::string &out, const XmlElement &element)
{
    size_t written = 0;
    for (const XmlElement &child : element.children) {
        out.append(element.text, written, child.textBefore - written);
        written = child.textBefore;
        appendContent(out, child);
    }
    out.append(element.text, written);
}

std::string qualified(std::string_view prefix, std::string_view localName)
{
    return prefix.empty() ? std::string(localName) : std::string(prefix) + ":" + std::string(localName);
}

// Escapes what the parser would not read back as written: in an attribute
// also the quote and the blanks it would make spaces of.
void appendEscaped(std::string &out, std::string_view text, XmlPlace place)
{
    for (const char c : text) {
        if (c == '\r') {
            out += "&#13;";
        } else if (place == XmlPlace::Attribute && c == '\n') {
            out += "&#10;";
        } else if (place == XmlPlace::Attribute && c == '\t') {
            out += "&#9;";
        } else if (const std::string_view reference = xmlReference(c, place); !reference.empty()) {
            out += reference;
        } else {
            out += c;
        }
    }
}

void appendStartTag(std::string &out, const XmlElement &element, bool empty)
{
    out.append("<").append(element.qualifiedName());
    for (const XmlTreeDeclaration &declaration : element.declarations) {
        out.append(declaration.prefix.empty() ? " xmlns" : " xmlns:")
            .append(declaration.prefix)
            .append("=\"");
        appendEscaped(out, declaration.uri, XmlPlace::Attribute);
        out.append("\"");
    }
    for (const XmlTreeAttribute &attribute : element.attributes) {
        out.append(" ").append(qualified(attribute.prefix, attribute.localName)).append("=\"");
        appendEscaped(out, attribute.value, XmlPlace::Attribute);
        out.append("\"");
    }
    out.append(empty ? "/>" : ">");
}

void appendElement(std::string &out, const XmlElement &element)
{
    const bool empty = element.children.empty() && element.text.empty();
    appendStartTag(out, element, empty);
    if (empty) {
        return;
    }
    size_t written = 0;
    for (const XmlElement &child : element.children) {
        appendEscaped(out, std::string_view(element.text).substr(written, child.textBefore - written),
            XmlPlace::Content);
        written = child.textBefore;
        appendElement(out, child);
    }
    appendEscaped(out, std::string_view(element.text).substr(written), XmlPlace::Content);
    out.append("</").append(element.qualifiedName()).append(">");
}

} // namespace

std::string XmlElement::content() const
{
    std::string out;
    appendContent(out, *this);
    return out;
}

std::string XmlElement::qualifiedName() const
{
    return qualified(prefix, localName);
}

// Hears the events of a reading and grows the tree: the open elements are a
// path from the root, each the last child of the one before.
class XmlTreeBuilder : public XmlHandler {
public:
    explicit XmlTreeBuilder(XmlTree &tree)
        : tree(tree)
    {
    }

    bool startElement(const XmlStartTag &tag) override
    {
        XmlElement *element = nullptr;
        if (open.empty()) {
            tree.hasRoot = true;
            element = &tree.root;
        } else {
            XmlElement &parent = *open.back();
            element = &parent.children.emplace_back();
            element->textBefore = parent.text.size();
        }
        element->prefix = name(tag.prefix);
        element->localName = name(tag.localName);
        element->namespaceUri = name(tag.namespaceUri);
        for (const XmlNamespaceDeclaration &declaration : tag.declarations) {
            element->declarations.push_back({name(declaration.prefix), name(declaration.uri)});
        }
        for (const XmlAttribute &attribute : tag.attributes) {
            element->attributes.push_back({name(attribute.prefix), name(attribute.localName),
                name(attribute.namespaceUri), std::string(attribute.value)});
        }
        element->begin = tag.begin;
        element->startTagEnd = tag.end;
        element->empty = tag.empty;
        open.push_back(element);
        return true;
    }

    bool endElement(const XmlEndTag &tag) override
    {
        XmlElement &element = *open.back();
        element.endTagBegin = tag.begin;
        element.end = tag.end;
        open.pop_back();
        return true;
    }

    bool text(std::string_view characters) override
    {
        if (!open.empty()) {
            open.back()->text.append(characters);
        }
        return true;
    }

private:
    std::string_view name(std::string_view text) { return *tree.names->emplace(text).first; }

    XmlTree &tree;
    std::vector<XmlElement *> open;
};

XmlTree readXmlTree(std::string_view text, XmlReadOptions options)
{
    XmlTree tree;
    XmlTreeBuilder builder(tree);
    tree.read = readXml(text, builder, options);
    return tree;
}

std::string xmlStartTagText(const XmlElement &element)
{
    std::string out;
    appendStartTag(out, element, element.empty);
    return out;
}

std::string xmlTreeText(const XmlTree &tree)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
    appendElement(out, tree.root);
    return out;
}

} // namespace bibsources
