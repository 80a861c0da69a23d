#include "package_xml.h"

#include <algorithm>

namespace bibsources {

namespace {

std::string reasonOf(const XmlReadResult &read)
{
    switch (read.error.kind) {
    case XmlErrorKind::DocumentType:
        return "it has a document type declaration";
    case XmlErrorKind::TooLarge:
        return "it is too large";
    default:
        break;
    }
    const std::string reason = read.error.message.empty() ? "it is not well-formed XML" : read.error.message;
    return "line " + std::to_string(read.error.line) + ": " + reason;
}

} // namespace

ParsedXml parsePackageXml(std::string_view text)
{
    ParsedXml parsed;
    parsed.tree = readXmlTree(text);
    if (!parsed.tree.read.wellFormed()) {
        parsed.error = reasonOf(parsed.tree.read);
    } else if (!parsed.tree.ok()) {
        parsed.error = "line 1: it holds no element";
    }
    return parsed;
}

std::optional<XmlName> rootElementName(std::string_view text)
{
    // Told of the root's start tag, which is all we want: whatever follows
    // it, well-formed or not, is not read.
    class RootName : public XmlHandler {
    public:
        bool startElement(const XmlStartTag &tag) override
        {
            root = XmlName{std::string(tag.namespaceUri), std::string(tag.localName)};
            return false;
        }
        bool endElement(const XmlEndTag &) override { return false; }
        bool text(std::string_view) override { return true; }

        std::optional<XmlName> root;
    } found;
    readXml(text, found, XmlReadOptions{.allowDocumentType = true});
    return found.root;
}

bool isElement(const XmlElement *element, std::string_view namespaceUri, std::string_view localName)
{
    return element && element->is(namespaceUri, localName);
}

void PartEdits::replace(size_t begin, size_t end, std::string replacement)
{
    edits.push_back({begin, end, std::move(replacement)});
}

std::string PartEdits::appliedTo(std::string_view text) const
{
    // In the order of the text; edits at one place in the order made.
    std::vector<const Edit *> ordered;
    for (const Edit &edit : edits) {
        ordered.push_back(&edit);
    }
    std::stable_sort(
        ordered.begin(), ordered.end(), [](const Edit *a, const Edit *b) { return a->begin < b->begin; });
    std::string out;
    size_t copied = 0;
    for (const Edit *edit : ordered) {
        out.append(text.substr(copied, edit->begin - copied)).append(edit->replacement);
        copied = std::max(copied, edit->end);
    }
    return out.append(text.substr(copied));
}

std::string emptyChildText(const XmlElement &parent, std::string_view localName,
    std::initializer_list<std::pair<std::string_view, std::string_view>> attributes)
{
    XmlElement child;
    child.prefix = parent.prefix;
    child.localName = localName;
    child.empty = true;
    for (const auto &[name, value] : attributes) {
        child.attributes.push_back({{}, name, {}, std::string(value)});
    }
    return xmlStartTagText(child);
}

std::string startTagWith(const XmlElement &element, std::string_view name, std::string_view value)
{
    XmlElement changed;
    changed.prefix = element.prefix;
    changed.localName = element.localName;
    changed.declarations = element.declarations;
    changed.attributes = element.attributes;
    changed.empty = element.empty;
    const auto same = [&](const XmlTreeAttribute &attribute) {
        return attribute.namespaceUri.empty() && attribute.localName == name;
    };
    if (const auto found = std::find_if(changed.attributes.begin(), changed.attributes.end(), same);
        found != changed.attributes.end()) {
        found->value = value;
    } else {
        changed.attributes.push_back({{}, name, {}, std::string(value)});
    }
    return xmlStartTagText(changed);
}

void appendChildren(PartEdits &edits, const XmlElement &element, std::string children)
{
    if (children.empty()) {
        return;
    }
    if (!element.empty) {
        edits.insert(element.endTagBegin, std::move(children));
        return;
    }
    // "<Types .../>": its '/' is just before its '>'.
    edits.replace(element.end - 2, element.end, ">" + children + "</" + element.qualifiedName() + ">");
}

} // namespace bibsources
