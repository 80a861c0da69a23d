#pragma once

#include "bibsources/conversion.h"
#include "document_citations.h"
#include "merge_file.h"

#include <string>

namespace bibsources {

// The result with its error set.
ConversionResult failedWith(ConversionResult result, std::string error);

// The sentence of a document left as it was: "SENTENCE; it was left as it was".
std::string leftAlone(const std::string &sentence);

// A document as read, with the list the records go into: its own, or an
// empty one where it has none.
struct DocumentRead {
    WordPackage document;
    SourceList list;
    FileStamp stamp; // of the file read, to tell whether it was saved again since
    std::string error;

    bool ok() const { return error.empty(); }
};

DocumentRead readDocument(const std::string &path);

// The new text of the list, and what became of the records it held:
// merged into them (settings.mergeIntoOutput), or in their place.
MergeOutcome newListText(const DocumentRead &current, const ConvertedRecords &converted,
    const ConversionSettings &settings, std::string &text);

// Which tags the document's citations name that the new list lacks. Said in
// the report, never a reason to leave the document alone: the citations may
// be waiting for another .bib.
void checkCitations(const WordPackage &document, const std::string &listText, DocumentReport &report);

} // namespace bibsources
