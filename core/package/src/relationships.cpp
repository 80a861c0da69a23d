#include "relationships.h"

#include "package_xml.h"

#include <set>

namespace bibsources {

namespace {

std::string folderOf(std::string_view partName)
{
    const auto slash = partName.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(partName.substr(0, slash + 1));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0
            && hexValue(text[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

// "word/../customXml/./item1.xml" as "customXml/item1.xml"; none when a ".."
// climbs out of the package.
std::optional<std::string> normalised(std::string_view path)
{
    std::vector<std::string_view> segments;
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view segment = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (segment == "..") {
            if (segments.empty()) {
                return std::nullopt;
            }
            segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
    }
    std::string joined;
    for (const std::string_view segment : segments) {
        joined += joined.empty() ? "" : "/";
        joined += segment;
    }
    return joined.empty() ? std::nullopt : std::optional<std::string>(joined);
}

std::string freshId(const XmlElement &root)
{
    std::set<std::string> taken;
    for (const XmlElement &child : root.children) {
        taken.insert(child.attribute("Id"));
    }
    for (int number = 1;; ++number) {
        const std::string id = "rId" + std::to_string(number);
        if (!taken.contains(id)) {
            return id;
        }
    }
}

std::string newRelationshipsPart(std::string_view type, std::string_view target)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships xmlns=\""
        + std::string(relationshipsNamespace) + "\"><Relationship Id=\"rId1\" Type=\"" + std::string(type)
        + "\" Target=\"" + std::string(target) + "\"/></Relationships>";
}

} // namespace

RelationshipsParse parseRelationships(std::string_view text)
{
    RelationshipsParse result;
    const ParsedXml parsed = parsePackageXml(text);
    if (!parsed.ok()) {
        result.error = parsed.error;
        return result;
    }
    const XmlElement &root = parsed.tree.root;
    if (!root.is(relationshipsNamespace, "Relationships")) {
        result.error = "its root element is not a list of relationships";
        return result;
    }
    for (const XmlElement &child : root.children) {
        if (child.is(relationshipsNamespace, "Relationship")) {
            result.relationships.push_back({child.attribute("Id"), child.attribute("Type"),
                child.attribute("Target"), child.attribute("TargetMode") == "External"});
        }
    }
    return result;
}

std::string relationshipsPartOf(std::string_view partName)
{
    const auto slash = partName.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? partName : partName.substr(slash + 1);
    return folderOf(partName) + "_rels/" + std::string(name) + ".rels";
}

std::optional<std::string> resolveTarget(std::string_view sourcePart, const Relationship &relationship)
{
    if (relationship.external || relationship.target.empty()) {
        return std::nullopt;
    }
    const std::string target = percentDecoded(relationship.target);
    if (target.find(':') != std::string::npos || target.find('\\') != std::string::npos) {
        return std::nullopt; // a URI with a scheme, or not a part name at all
    }
    return normalised(target.starts_with('/') ? target : folderOf(sourcePart) + target);
}

std::string relativeTarget(std::string_view sourcePart, std::string_view targetPart)
{
    std::string target;
    const std::string folder = folderOf(sourcePart);
    for (const char c : folder) {
        if (c == '/') {
            target += "../";
        }
    }
    return target + std::string(targetPart);
}

RelationshipAdded addRelationship(std::string_view text, std::string_view type, std::string_view target)
{
    RelationshipAdded result;
    if (text.empty()) {
        result.text = newRelationshipsPart(type, target);
        return result;
    }
    const ParsedXml parsed = parsePackageXml(text);
    const XmlElement *root = parsed.ok() ? &parsed.tree.root : nullptr;
    if (!isElement(root, relationshipsNamespace, "Relationships")) {
        result.error = parsed.ok() ? "its root element is not a list of relationships" : parsed.error;
        return result;
    }
    // Bytes in another encoding cannot take ours: such a part is written
    // anew in UTF-8 first.
    if (!parsed.tree.read.encoding.empty()) {
        return addRelationship(xmlTreeText(parsed.tree), type, target);
    }
    PartEdits edits;
    appendChildren(edits, *root,
        emptyChildText(*root, "Relationship", {{"Id", freshId(*root)}, {"Type", type}, {"Target", target}}));
    result.text = edits.appliedTo(text);
    return result;
}

} // namespace bibsources
