#pragma once

#include "bibsources/conversion.h"
#include "document_citations.h"
#include "merge_file.h"
#include "record_target.h"
#include "tag_book.h"

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

// What a run putting records into the Word document at documentPath does
// alike, whether the document is then replaced where it is (the command) or
// handed over (the page): the tidy mapping, the records kept until the end,
// and when merging, the document's own tags kept clear of made-up ones.
class DocumentRecordTarget : public RecordTarget {
public:
    DocumentRecordTarget(std::string documentPath, const ConversionSettings &settings);

    // Merged into, the document's own sources keep their tags: a made-up
    // one never takes a tag of theirs, and so never replaces one of them.
    // Replaced, its records go, and their tags with them.
    TagBook *tagsTaken() override;

    // Documents always get the tidy mapping: word processors read no other.
    ConversionSettings mappingSettings(const ConversionSettings &given) const override;

    void append(std::string_view text) override;
    std::string appendError() const override;

protected:
    // The result a run starts with, its error set when documentPath is not a
    // file a document can be.
    ConversionResult started() const;
    // Reads the document into current (holding its tags when merging);
    // result with the error when it cannot be read.
    ConversionResult readCurrent(ConversionResult result);
    // The document's new list, made of the records converted into current's.
    NewList madeList(ConversionResult result);

    const std::string documentPath;
    const ConversionSettings &settings;
    DocumentRead current;

private:
    TagBook tags;
    ConvertedRecords converted;
};

} // namespace bibsources
