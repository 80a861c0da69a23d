#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// The relationship types and namespace of the package format this program
// follows (ECMA-376 transitional).
namespace relationshipType {
constexpr std::string_view officeDocument
    = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
// The same relationship in a Strict package, whose parts use other namespaces.
constexpr std::string_view strictOfficeDocument
    = "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument";
constexpr std::string_view customXml
    = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXml";
constexpr std::string_view customXmlProperties
    = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/customXmlProps";
constexpr std::string_view footnotes
    = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footnotes";
constexpr std::string_view endnotes
    = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/endnotes";
} // namespace relationshipType

constexpr std::string_view relationshipsNamespace
    = "http://schemas.openxmlformats.org/package/2006/relationships";

struct Relationship {
    std::string id;
    std::string type;
    std::string target; // as written, relative to the source part's folder unless it starts with '/'
    bool external = false; // TargetMode="External": not a part of the package
};

struct RelationshipsParse {
    std::vector<Relationship> relationships; // in document order
    std::string error; // empty when read; else why not

    bool ok() const { return error.empty(); }
};

RelationshipsParse parseRelationships(std::string_view text);

// The relationships part of a part: "word/_rels/document.xml.rels" for
// "word/document.xml"; "_rels/.rels" for the package itself ("").
std::string relationshipsPartOf(std::string_view partName);

// The part a relationship of sourcePart ("" for the package) points to, as a
// member name: the target resolved against the source's folder, with "." and
// ".." taken away and %XX escapes decoded. None when it is external or leaves
// the package.
std::optional<std::string> resolveTarget(std::string_view sourcePart, const Relationship &relationship);

// The target to write in sourcePart's relationships for targetPart:
// "../customXml/item1.xml" from "word/document.xml".
std::string relativeTarget(std::string_view sourcePart, std::string_view targetPart);

// The relationships text with one more relationship, of a fresh Id, before
// the root's end; an empty text makes a new relationships part. Every byte
// already there stays as it is (a part in an encoding other than UTF-8 is
// written anew in UTF-8, its comments and processing instructions left out).
struct RelationshipAdded {
    std::string text;
    std::string error;

    bool ok() const { return error.empty(); }
};
RelationshipAdded addRelationship(std::string_view text, std::string_view type, std::string_view target);

} // namespace bibsources
