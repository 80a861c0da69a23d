#pragma once

#include "bibsources/conversion.h"

#include <string>
#include <vector>

namespace bibsources {

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

// The records of every input, in the tidy mapping, as the document's own
// source list: merged into the list it has with mergeIntoOutput, else in
// place of it. Everything else in the document stays as it was, and it is
// replaced in one step. Never creates a document.
ConversionResult convertIntoDocument(const std::vector<std::string> &inputPaths,
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks);

} // namespace bibsources
