// The source lists --to-bib reads: a list file's, or a Word document's own.
#include "document_citations.h"
#include "lists_to_bib.h"
#include "merge_file.h"
#include "record_target.h"
#include "xml.h"

namespace bibsources {

namespace {

ListRead documentList(const std::string &path)
{
    if (const std::string problem = notADocumentFile(path); !problem.empty()) {
        return {{}, "cannot read '" + path + "': " + problem};
    }
    WordPackage document = openWordPackage(path);
    if (!document.ok()) {
        return {{}, document.error};
    }
    if (!document.listPart) {
        return {{}, "'" + path + "' has no source list of its own; there is nothing to write"};
    }
    SourceListParse parsed = parseSourceList(std::move(document.listText), path + " (its source list)");
    return {std::move(parsed.list.text), parsed.error};
}

} // namespace

ListRead listOrDocumentOf(const std::string &path)
{
    if (isDocumentTarget(path)) {
        return documentList(path);
    }
    return listFileOf(path);
}

} // namespace bibsources
