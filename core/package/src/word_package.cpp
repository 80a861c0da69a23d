#include "word_package.h"

#include "package_xml.h"
#include "random_guid.h"
#include "relationships.h"
#include "xml.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace bibsources {

namespace {

constexpr std::string_view customXmlNamespace
    = "http://schemas.openxmlformats.org/officeDocument/2006/customXml";
constexpr std::string_view customXmlPropertiesType
    = "application/vnd.openxmlformats-officedocument.customXmlProperties+xml";
constexpr std::string_view relationshipsContentType
    = "application/vnd.openxmlformats-package.relationships+xml";

// The main parts of a document, a macro-enabled document, a template and a
// macro-enabled template.
constexpr std::array wordMainContentTypes{
    std::string_view("application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"),
    std::string_view("application/vnd.ms-word.document.macroEnabled.main+xml"),
    std::string_view("application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml"),
    std::string_view("application/vnd.ms-word.template.macroEnabledTemplate.main+xml"),
};

std::string quoted(std::string_view name)
{
    return "'" + std::string(name) + "'";
}

// Password-protected documents are not zip packages at all but OLE compound
// files holding the encrypted package; so were the older .doc files.
constexpr std::string_view compoundFileMagic("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);

bool isCompoundFile(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    char start[compoundFileMagic.size()]{};
    const bool compound = ::read(fd, start, sizeof start) == sizeof start
        && std::string_view(start, sizeof start) == compoundFileMagic;
    ::close(fd);
    return compound;
}

bool isSigned(const Package &package)
{
    const std::vector<std::string> names = package.memberNames();
    return std::any_of(names.begin(), names.end(), [](const std::string &name) {
        return name.size() >= 15 && ::strncasecmp(name.c_str(), "_xmlsignatures/", 15) == 0;
    });
}

// Reads and parses one of the parts that say how the package hangs together.
RelationshipsParse readRelationships(const Package &package, const std::string &partName)
{
    const PartText part = package.readPart(partName);
    if (!part.ok()) {
        return {{}, part.error};
    }
    RelationshipsParse parsed = parseRelationships(part.text);
    if (!parsed.ok()) {
        parsed.error = "its part " + quoted(partName) + " is not readable (" + parsed.error + ")";
    }
    return parsed;
}

std::string findMainPart(WordPackage &document)
{
    const Package &package = *document.package;
    const RelationshipsParse root = readRelationships(package, relationshipsPartOf(""));
    if (!root.ok()) {
        return package.contains("_rels/.rels") ? root.error : "it has no main document part";
    }
    bool strict = false;
    for (const Relationship &relationship : root.relationships) {
        strict = strict || relationship.type == relationshipType::strictOfficeDocument;
        const std::optional<std::string> target = resolveTarget("", relationship);
        if (relationship.type == relationshipType::officeDocument && target && package.contains(*target)) {
            document.mainPart = *target;
            return {};
        }
    }
    return strict ? "strict" : "it has no main document part";
}

std::string checkMainContentType(WordPackage &document)
{
    const PartText part = document.package->readPart(contentTypesPart);
    if (!part.ok()) {
        return part.error;
    }
    ContentTypesParse parsed = parseContentTypes(part.text);
    if (!parsed.ok()) {
        return "its part " + quoted(contentTypesPart) + " is not readable (" + parsed.error + ")";
    }
    document.contentTypes = std::move(parsed.types);
    const std::string type = document.contentTypes.of(document.mainPart);
    if (std::find(wordMainContentTypes.begin(), wordMainContentTypes.end(), type)
        == wordMainContentTypes.end()) {
        return "its main part is " + (type.empty() ? std::string("of no known type") : quoted(type))
            + ", not a word-processing document";
    }
    return {};
}

bool isSourceList(std::string_view text)
{
    const std::optional<XmlName> root = rootElementName(text);
    return root && root->namespaceUri == bibliographyNamespace && root->localName == "Sources";
}

// The list is a custom XML part of the main document whose root element is
// the bibliography's Sources; its number says nothing, since other custom
// XML parts (from document-management servers, say) may come first.
std::string findSourceList(WordPackage &document)
{
    const Package &package = *document.package;
    const std::string relationshipsPart = relationshipsPartOf(document.mainPart);
    if (!package.contains(relationshipsPart)) {
        return {};
    }
    const RelationshipsParse parsed = readRelationships(package, relationshipsPart);
    if (!parsed.ok()) {
        return parsed.error;
    }
    for (const Relationship &relationship : parsed.relationships) {
        const std::optional<std::string> target = resolveTarget(document.mainPart, relationship);
        if (relationship.type != relationshipType::customXml || !target || !package.contains(*target)) {
            continue;
        }
        PartText part = package.readPart(*target, sourceListPartLimit);
        if (!part.ok()) {
            return part.error;
        }
        if (isSourceList(part.text)) {
            document.listPart = *target;
            document.listText = std::move(part.text);
            return {};
        }
    }
    return {};
}

std::string sentenceFor(const std::string &path, const std::string &reason)
{
    if (reason == "strict") {
        return quoted(path)
            + " is a Strict Open XML document, which bibsources cannot change; save it as an ordinary"
              " Word document (.docx) first";
    }
    return quoted(path) + " is not a document bibsources can change: " + reason;
}

std::string itemProperties()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<ds:datastoreItem ds:itemID=\""
        + randomGuid() + "\" xmlns:ds=\"" + std::string(customXmlNamespace)
        + "\"><ds:schemaRefs><ds:schemaRef ds:uri=\"" + std::string(bibliographyNamespace)
        + "\"/></ds:schemaRefs></ds:datastoreItem>";
}

std::string itemRelationships(std::string_view propertiesName)
{
    return addRelationship("", relationshipType::customXmlProperties, propertiesName).text;
}

// The lowest N for which none of the three parts of a custom XML item exists.
int freeItemNumber(const Package &package)
{
    for (int number = 1;; ++number) {
        const std::string n = std::to_string(number);
        if (!package.contains("customXml/item" + n + ".xml")
            && !package.contains("customXml/itemProps" + n + ".xml")
            && !package.contains("customXml/_rels/item" + n + ".xml.rels")) {
            return number;
        }
    }
}

// The item, its properties and their link, then the main part's link to the
// item and the properties' content type.
std::string addSourceList(WordPackage &document, std::string listText, SourceListWritten &written)
{
    Package &package = *document.package;
    const std::string n = std::to_string(freeItemNumber(package));
    const std::string item = "customXml/item" + n + ".xml";
    const std::string properties = "itemProps" + n + ".xml";
    const std::string mainRelationships = relationshipsPartOf(document.mainPart);
    PartText existingLinks;
    if (package.contains(mainRelationships)) {
        existingLinks = package.readPart(mainRelationships);
        if (!existingLinks.ok()) {
            return existingLinks.error;
        }
    }
    const RelationshipAdded links = addRelationship(
        existingLinks.text, relationshipType::customXml, relativeTarget(document.mainPart, item));
    const PartText types = package.readPart(contentTypesPart);
    ContentTypesChange change;
    change.defaults.push_back({"rels", std::string(relationshipsContentType)});
    if (document.contentTypes.of(item).empty()) {
        change.defaults.push_back({"xml", "application/xml"});
    }
    change.overrides.push_back({"/customXml/" + properties, std::string(customXmlPropertiesType)});
    const ContentTypesWritten newTypes
        = types.ok() ? changeContentTypes(types.text, change) : ContentTypesWritten{{}, types.error};
    if (!links.ok() || !newTypes.ok()) {
        return "its part " + quoted(links.ok() ? contentTypesPart : mainRelationships) + " is not readable ("
            + (links.ok() ? newTypes.error : links.error) + ")";
    }
    written.listPart = item;
    written.added = true;
    const bool recorded = package.setPart(item, std::move(listText))
        && package.setPart("customXml/" + properties, itemProperties())
        && package.setPart("customXml/_rels/item" + n + ".xml.rels", itemRelationships(properties))
        && package.setPart(mainRelationships, links.text)
        && package.setPart(std::string(contentTypesPart), newTypes.text);
    return recorded ? std::string() : package.error();
}

} // namespace

namespace {

std::string encryptedSentence(const std::string &name)
{
    return quoted(name)
        + " is encrypted (a password-protected document) or in the older .doc format; save it as an"
          " unprotected .docx first";
}

// Finds what the opened package holds, or why it cannot be changed.
WordPackage examined(std::unique_ptr<Package> package)
{
    WordPackage document;
    document.package = std::move(package);
    const std::string &path = document.package->path();
    if (!document.package->error().empty()) {
        document.error = document.package->error();
        return document;
    }
    if (isSigned(*document.package)) {
        document.error = quoted(path)
            + " is digitally signed, and changing its sources would break the signature; remove the"
              " signature first";
        return document;
    }
    std::string reason = findMainPart(document);
    if (reason.empty()) {
        reason = checkMainContentType(document);
    }
    if (reason.empty()) {
        reason = findSourceList(document);
    }
    if (!reason.empty()) {
        document.error = sentenceFor(path, reason);
    }
    return document;
}

} // namespace

WordPackage openWordPackage(const std::string &path)
{
    if (isCompoundFile(path)) {
        WordPackage document;
        document.error = encryptedSentence(path);
        return document;
    }
    return examined(std::make_unique<Package>(path));
}

WordPackage openWordPackage(const std::string &name, std::string bytes)
{
    if (bytes.starts_with(compoundFileMagic)) {
        WordPackage document;
        document.error = encryptedSentence(name);
        return document;
    }
    return examined(std::make_unique<Package>(name, std::move(bytes)));
}

SourceListWritten writeSourceList(WordPackage &document, std::string listText, int outputFd)
{
    SourceListWritten written;
    Package &package = *document.package;
    if (document.listPart) {
        written.listPart = *document.listPart;
        if (!package.setPart(*document.listPart, std::move(listText))) {
            written.error = package.error();
            return written;
        }
    } else if (std::string reason = addSourceList(document, std::move(listText), written); !reason.empty()) {
        written.error = package.error().empty() ? sentenceFor(package.path(), reason) : reason;
        return written;
    }
    written.error = package.writeTo(outputFd);
    return written;
}

} // namespace bibsources
