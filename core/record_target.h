#pragma once

#include "bibsources/conversion.h"
#include "tag_book.h"
#include "xml.h"

#include <memory>
#include <string>
#include <string_view>

namespace bibsources {

// Where the records of a run go: a file, a descriptor, a source list file
// merged into, or a word-processing document's own source list. A run
// chooses its target once (targetFor); runConversion (pipeline.h) takes
// every target through the same steps:
//
//   open -> (the document's text, appended as it is made) -> commit
//
// and commits only when every input was read and no stop was requested.
// The settings and hooks a target is made with must outlive it.
class RecordTarget {
public:
    virtual ~RecordTarget() = default;

    // Readies the target before any input is read, so that one that cannot
    // take the records is refused before a long conversion. Returns the
    // result so far: the output, and an error when it cannot.
    virtual ConversionResult open() = 0;

    // The settings the records are made with: the run's, or the tidy
    // mapping where the target takes nothing else.
    virtual ConversionSettings mappingSettings(const ConversionSettings &settings) const { return settings; }

    // The tags the records must keep clear of (those of a list merged into),
    // which then learn the made-up ones; null: none.
    virtual TagBook *tagsTaken() { return nullptr; }

    // Takes the document's text as it is made.
    virtual void append(std::string_view text) = 0;

    // Why what was appended cannot be put in place, or empty.
    virtual std::string appendError() const { return {}; }

    // An input held entries but not one could be read: the result as the
    // target words it.
    virtual ConversionResult refused(ConversionResult result) const { return result; }

    // Every input was read: puts the records in place.
    virtual ConversionResult commit(ConversionResult result) = 0;
};

// Whether -o names a word-processing document to put the records into rather
// than a file to write: a name ending in .docx, .docm, .dotx or .dotm (in any
// case), or an existing regular file that begins as a zip package or an OLE
// compound file (an encrypted document), which a source list never does.
bool isDocumentTarget(const std::string &outputPath);

// Empty when path names a regular file (through links) or nothing; else why
// no document can be there, as the end of a sentence: "it is a FIFO (a named
// pipe), not a Word document". Such a file is never opened, so that nothing
// waits on it.
std::string notADocumentFile(const std::string &path);

// The document written to outputPath, replacing it in one step.
std::unique_ptr<RecordTarget> fileTarget(const std::string &outputPath, const ConversionSettings &settings);

// The document written to an open descriptor once it is complete.
std::unique_ptr<RecordTarget> descriptorTarget(int outputFd, const ConversionSettings &settings);

// The records merged into the source list file at outputPath, or into a new
// one; the list is locked and read when the target is opened.
std::unique_ptr<RecordTarget> listMergeTarget(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks);

// The records merged, as listMergeTarget merges them, into a copy of the
// source list file at listPath, which is read now and never written: the
// merged list goes to sink on commit (whole only when the result is ok).
// For a program that has no file to replace (the page).
std::unique_ptr<RecordTarget> mergedCopyTarget(
    const std::string &listPath, TextSink sink, const ConversionSettings &settings);

// The records, in the tidy mapping, as the document's own source list:
// merged into the list it has with mergeIntoOutput, else in place of it.
// Everything else in the document stays as it was, and it is replaced in
// one step. Never creates a document.
std::unique_ptr<RecordTarget> documentTarget(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks);

// The target outputPath names: a document, a list to merge into (with
// mergeIntoOutput), or a file.
std::unique_ptr<RecordTarget> targetFor(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks);

} // namespace bibsources
