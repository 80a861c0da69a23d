#include "document_citations.h"

#include "relationships.h"

#include <unordered_set>

namespace bibsources {

namespace {

bool isNotesRelationship(const Relationship &relationship)
{
    return relationship.type == relationshipType::footnotes
        || relationship.type == relationshipType::endnotes;
}

// The main part, then the notes parts it links to.
struct PartsToRead {
    std::vector<std::string> names;
    std::string error;
};

PartsToRead partsWithCitations(const WordPackage &document)
{
    PartsToRead parts{{document.mainPart}, {}};
    const Package &package = *document.package;
    const std::string links = relationshipsPartOf(document.mainPart);
    if (!package.contains(links)) {
        return parts;
    }
    const PartText text = package.readPart(links);
    const RelationshipsParse parsed
        = text.ok() ? parseRelationships(text.text) : RelationshipsParse{{}, text.error};
    if (!parsed.ok()) {
        parts.error = "its part '" + links + "' is not readable (" + parsed.error + ")";
        return parts;
    }
    for (const Relationship &relationship : parsed.relationships) {
        const std::optional<std::string> target = resolveTarget(document.mainPart, relationship);
        if (isNotesRelationship(relationship) && target && package.contains(*target)) {
            parts.names.push_back(*target);
        }
    }
    return parts;
}

} // namespace

CitedTags documentCitedTags(const WordPackage &document)
{
    CitedTags all;
    const PartsToRead parts = partsWithCitations(document);
    if (!parts.error.empty()) {
        all.error = parts.error;
        return all;
    }
    std::unordered_set<std::string> seen;
    for (const std::string &name : parts.names) {
        const PartText part = document.package->readPart(name, citationPartLimit);
        if (!part.ok()) {
            return {{}, part.error};
        }
        CitedTags cited = citedTags(part.text);
        if (!cited.ok()) {
            return {{}, "its part '" + name + "' is not readable (" + cited.error + ")"};
        }
        for (std::string &tag : cited.tags) {
            if (seen.insert(tag).second) {
                all.tags.push_back(std::move(tag));
            }
        }
    }
    return all;
}

} // namespace bibsources
