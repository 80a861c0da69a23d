#pragma once

#include "bibsources/conversion.h"
#include "xml.h"

#include <functional>
#include <string>
#include <vector>

namespace bibsources {

// A source list's text as one input gives it, or why it cannot.
struct ListRead {
    std::string text;
    std::string error; // one sentence naming the input
};

using ListReading = std::function<ListRead(const std::string &path)>;

// The source list file at path, read as readSourceListFile does; a path
// that names nothing is said to be missing.
ListRead listFileOf(const std::string &path);

// What --to-bib reads at path: the own source list of a Word document (a
// name ending in .docx and its kin, or a file that begins as a zip
// package), refused in the words openWordPackage has, else listFileOf's.
ListRead listOrDocumentOf(const std::string &path);

// The BibTeX text of the lists `read` gives for inputPaths, one writer for
// all (keys stay unique across them), with each input's records and
// messages in the result. Every input is read; sink gets the text, whole,
// only when every input is ok, else result.error is the first input's
// error and sink is not called.
ConversionResult bibOf(
    const std::vector<std::string> &inputPaths, const ListReading &read, const TextSink &sink);

} // namespace bibsources
