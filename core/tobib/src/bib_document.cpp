#include "bib_document.h"

#include "bib_entry.h"
#include "bib_text.h"
#include "xml.h"

#include <libxml/parser.h>

#include <memory>

namespace bibsources {

namespace {

bool isBibliographyElement(const xmlNode *node, std::string_view name)
{
    return node->type == XML_ELEMENT_NODE && node->ns && node->ns->href
        && reinterpret_cast<const char *>(node->ns->href) == bibliographyNamespace
        && reinterpret_cast<const char *>(node->name) == name;
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
    const XmlDocumentPtr document(xmlReadMemory(listText.data(), int(listText.size()), nullptr, "UTF-8",
        XML_PARSE_NONET | XML_PARSE_HUGE | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    const xmlNode *root = document ? xmlDocGetRootElement(document.get()) : nullptr;
    if (!root || !isBibliographyElement(root, "Sources")) {
        result.error = "it is not a bibliography source list";
        return result;
    }
    for (const xmlNode *child = root->children; child; child = child->next) {
        if (!isBibliographyElement(child, "Source")) {
            continue;
        }
        const BibEntry entry = bibEntry(child);
        result.text += bibEntryText(entry, uniqueKey(entry.tag, result.messages));
        ++result.records;
    }
    return result;
}

} // namespace bibsources
