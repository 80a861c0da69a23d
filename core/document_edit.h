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

// The document's new list, made of converted, and the result saying what
// became of it: the merge, the records removed, its part, the cited tags it
// lacks, whether it is unchanged. result.error is set when it cannot be made.
struct NewList {
    ConversionResult result;
    std::string text; // the list to write; unused when unchanged or failed
};
NewList newList(const DocumentRead &current, const ConvertedRecords &converted,
    const ConversionSettings &settings, ConversionResult result);

} // namespace bibsources
