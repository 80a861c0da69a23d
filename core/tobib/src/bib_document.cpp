#include "bib_document.h"

#include "bib_entry.h"
#include "bib_text.h"
#include "xml.h"

namespace bibsources {

namespace {

bool isBibliographyElement(const XmlElement &element, std::string_view name)
{
    return element.is(bibliographyNamespace, name);
}

} // namespace

std::string BibWriter::uniqueKey(const std::string &tag, std::vector<std::string> &messages)
{
    const std::string allowed = bibKey(tag);
    const auto taken = keys.find(keyIdentity(allowed));
    std::string key = allowed;
    for (int suffix = 2; keys.count(keyIdentity(key)) > 0; ++suffix) {
        key = allowed + "-" + std::to_string(suffix);
    }
    keys.emplace(keyIdentity(key), key);
    if (tag.empty()) {
        messages.push_back("a source without a tag has the key '" + key + "'");
    } else if (key != allowed && taken->second != allowed) {
        messages.push_back("the tag '" + tag + "' differs from the key '" + taken->second
            + "' only in letter case, which BibTeX does not tell apart; this source has the key '" + key
            + "'");
    } else if (key != allowed) {
        messages.push_back("the tag '" + tag + "' is used before; this source has the key '" + key + "'");
    } else if (key != tag) {
        messages.push_back("the tag '" + tag + "' has the key '" + key
            + "': a BibTeX key holds no spaces, control characters or , { } ( ) \" # % \\");
    }
    return key;
}

BibEntries BibWriter::entries(std::string_view listText)
{
    BibEntries result;
    const XmlTree document = readXmlTree(listText, XmlReadOptions{.lifted = true});
    if (!document.ok() || !isBibliographyElement(document.root, "Sources")) {
        result.error = "it is not a bibliography source list";
        return result;
    }
    for (const XmlElement &child : document.root.children) {
        if (!isBibliographyElement(child, "Source")) {
            continue;
        }
        const BibEntry entry = bibEntry(&child);
        result.text += bibEntryText(entry, uniqueKey(entry.tag, result.messages));
        ++result.records;
    }
    return result;
}

} // namespace bibsources
