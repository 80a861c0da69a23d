#pragma once

// What the targets that run whole conversions share: a scratch folder, files
// written into it, and what every document they build must be.

#include "fuzz_check.h"

#include "document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <filesystem>
#include <fstream>

namespace fuzzcheck {

// A fresh folder under TMPDIR, which the smoke run points into its scratch folder.
inline std::string scratchDirectory(const std::string &name)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (name + "-XXXXXX")).string();
    check(mkdtemp(pattern.data()) != nullptr, "a scratch folder could not be made", pattern);
    return pattern;
}

inline void writeFile(const std::string &path, std::string_view bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    check(bool(file), "a scratch file could not be written", path);
}

// The document of one input: a report that says why when it failed, and a
// text that is well-formed, XML-safe UTF-8 under b:Sources, holding one
// b:Source record per record reported.
inline void checkDocument(const bibsources::Document &document, std::string_view input)
{
    check(document.inputs.size() == 1, "one input gave another number of reports", input);
    const bibsources::InputReport &report = document.inputs.front();
    check(report.ok() || !report.error.empty(), "a failed input has no error message", input);
    check(hasOnlyXmlChars(document.text), "the document is not XML-safe UTF-8", input);
    xmlDocPtr doc = xmlReadMemory(document.text.data(), int(document.text.size()), "Sources.xml", nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    check(doc != nullptr, "the document is not well-formed XML", input);
    xmlNodePtr root = xmlDocGetRootElement(doc);
    check(root && xmlStrEqual(root->name, BAD_CAST "Sources"), "the root is not b:Sources", input);
    int records = 0;
    for (xmlNodePtr child = root->children; child; child = child->next) {
        records += child->type == XML_ELEMENT_NODE && xmlStrEqual(child->name, BAD_CAST "Source");
    }
    check(records == report.recordsWritten, "the number of records differs from the one reported", input);
    xmlFreeDoc(doc);
}

} // namespace fuzzcheck
