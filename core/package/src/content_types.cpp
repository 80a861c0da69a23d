#include "content_types.h"

#include "package_xml.h"

#include <algorithm>
#include <map>
#include <strings.h>

namespace bibsources {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return ::tolower(static_cast<unsigned char>(x)) == ::tolower(static_cast<unsigned char>(y));
    });
}

std::string extensionOf(std::string_view partName)
{
    const auto dot = partName.rfind('.');
    const auto slash = partName.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    return std::string(partName.substr(dot + 1));
}

std::string withoutLeadingSlash(std::string_view name)
{
    return std::string(name.starts_with('/') ? name.substr(1) : name);
}

const XmlElement *contentTypesRoot(const ParsedXml &parsed, std::string &error)
{
    const XmlElement *root = parsed.ok() ? &parsed.tree.root : nullptr;
    if (!isElement(root, contentTypesNamespace, "Types")) {
        error = parsed.ok() ? "its root element is not a list of content types" : parsed.error;
        return nullptr;
    }
    return root;
}

ContentTypes typesOf(const XmlElement &root)
{
    ContentTypes types;
    for (const XmlElement &child : root.children) {
        if (child.is(contentTypesNamespace, "Default")) {
            types.defaults.push_back({child.attribute("Extension"), child.attribute("ContentType")});
        } else if (child.is(contentTypesNamespace, "Override")) {
            types.overrides.push_back({child.attribute("PartName"), child.attribute("ContentType")});
        }
    }
    return types;
}

// The change as edits of the part's bytes: new elements before the root's
// end tag, defaults first; an override for a part that has one already
// replaces the start tag of that one.
PartEdits editsFor(const XmlElement &root, const ContentTypesChange &change)
{
    const ContentTypes existing = typesOf(root);
    std::string added;
    for (const ContentTypes::Default &entry : change.defaults) {
        if (!existing.hasDefault(entry.extension)) {
            added += emptyChildText(
                root, "Default", {{"Extension", entry.extension}, {"ContentType", entry.contentType}});
        }
    }
    std::map<const XmlElement *, std::string> retyped; // an existing override and its new type
    std::vector<ContentTypes::Override> newOverrides;
    for (const ContentTypes::Override &entry : change.overrides) {
        const auto samePart
            = [&](const auto &partName) { return sameIgnoringCase(partName, entry.partName); };
        const auto target
            = std::find_if(root.children.begin(), root.children.end(), [&](const XmlElement &child) {
                  return child.is(contentTypesNamespace, "Override") && samePart(child.attribute("PartName"));
              });
        const auto pending = std::find_if(newOverrides.begin(), newOverrides.end(),
            [&](const ContentTypes::Override &override) { return samePart(override.partName); });
        if (target != root.children.end()) {
            retyped[&*target] = entry.contentType;
        } else if (pending != newOverrides.end()) {
            pending->contentType = entry.contentType;
        } else {
            newOverrides.push_back(entry);
        }
    }
    PartEdits edits;
    for (const auto &[element, type] : retyped) {
        edits.replace(element->begin, element->startTagEnd, startTagWith(*element, "ContentType", type));
    }
    for (const ContentTypes::Override &entry : newOverrides) {
        added += emptyChildText(
            root, "Override", {{"PartName", entry.partName}, {"ContentType", entry.contentType}});
    }
    appendChildren(edits, root, std::move(added));
    return edits;
}

} // namespace

std::string ContentTypes::of(std::string_view partName) const
{
    for (const Override &override : overrides) {
        if (sameIgnoringCase(withoutLeadingSlash(override.partName), partName)) {
            return override.contentType;
        }
    }
    const std::string extension = extensionOf(partName);
    for (const Default &entry : defaults) {
        if (sameIgnoringCase(entry.extension, extension)) {
            return entry.contentType;
        }
    }
    return {};
}

bool ContentTypes::hasDefault(std::string_view extension) const
{
    return std::any_of(defaults.begin(), defaults.end(),
        [&](const Default &entry) { return sameIgnoringCase(entry.extension, extension); });
}

ContentTypesParse parseContentTypes(std::string_view text)
{
    ContentTypesParse result;
    const ParsedXml parsed = parsePackageXml(text);
    if (const XmlElement *root = contentTypesRoot(parsed, result.error)) {
        result.types = typesOf(*root);
    }
    return result;
}

ContentTypesWritten changeContentTypes(std::string_view text, const ContentTypesChange &change)
{
    ContentTypesWritten result;
    const ParsedXml parsed = parsePackageXml(text);
    const XmlElement *root = contentTypesRoot(parsed, result.error);
    if (!root) {
        return result;
    }
    // Bytes in another encoding cannot take ours: such a part is written
    // anew in UTF-8 first.
    if (!parsed.tree.read.encoding.empty()) {
        return changeContentTypes(xmlTreeText(parsed.tree), change);
    }
    result.text = editsFor(*root, change).appliedTo(text);
    return result;
}

} // namespace bibsources
