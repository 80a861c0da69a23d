#include "content_types.h"

#include "package_xml.h"

#include <algorithm>
#include <strings.h>

namespace bibsources {

namespace {

const xmlChar *xml(const std::string &text)
{
    return reinterpret_cast<const xmlChar *>(text.c_str());
}

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

xmlNode *contentTypesRoot(const ParsedXml &parsed, std::string &error)
{
    xmlNode *root = parsed.ok() ? xmlDocGetRootElement(parsed.document.get()) : nullptr;
    if (!isElement(root, contentTypesNamespace, "Types")) {
        error = parsed.ok() ? "its root element is not a list of content types" : parsed.error;
        return nullptr;
    }
    return root;
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
    const xmlNode *root = contentTypesRoot(parsed, result.error);
    if (!root) {
        return result;
    }
    for (const xmlNode *child = root->children; child; child = child->next) {
        if (isElement(child, contentTypesNamespace, "Default")) {
            result.types.defaults.push_back({attribute(child, "Extension"), attribute(child, "ContentType")});
        } else if (isElement(child, contentTypesNamespace, "Override")) {
            result.types.overrides.push_back({attribute(child, "PartName"), attribute(child, "ContentType")});
        }
    }
    return result;
}

ContentTypesWritten changeContentTypes(std::string_view text, const ContentTypesChange &change)
{
    ContentTypesWritten result;
    const ParsedXml parsed = parsePackageXml(text);
    xmlNode *root = contentTypesRoot(parsed, result.error);
    if (!root) {
        return result;
    }
    const ContentTypes existing = parseContentTypes(text).types;
    for (const ContentTypes::Default &entry : change.defaults) {
        if (!existing.hasDefault(entry.extension)) {
            xmlNode *added
                = xmlNewChild(root, root->ns, reinterpret_cast<const xmlChar *>("Default"), nullptr);
            xmlNewProp(added, reinterpret_cast<const xmlChar *>("Extension"), xml(entry.extension));
            xmlNewProp(added, reinterpret_cast<const xmlChar *>("ContentType"), xml(entry.contentType));
        }
    }
    for (const ContentTypes::Override &entry : change.overrides) {
        xmlNode *target = nullptr;
        for (xmlNode *child = root->children; child && !target; child = child->next) {
            if (isElement(child, contentTypesNamespace, "Override")
                && sameIgnoringCase(attribute(child, "PartName"), entry.partName)) {
                target = child;
            }
        }
        if (!target) {
            target = xmlNewChild(root, root->ns, reinterpret_cast<const xmlChar *>("Override"), nullptr);
            xmlSetProp(target, reinterpret_cast<const xmlChar *>("PartName"), xml(entry.partName));
        }
        xmlSetProp(target, reinterpret_cast<const xmlChar *>("ContentType"), xml(entry.contentType));
    }
    result.text = serializePackageXml(parsed.document.get());
    return result;
}

} // namespace bibsources
