#pragma once

#include "content_types.h"
#include "package.h"

#include <memory>
#include <optional>
#include <string>

namespace bibsources {

// The most the document's own source list may unpack to. A list of ten
// thousand records is about ten megabytes.
constexpr std::size_t sourceListPartLimit = std::size_t(64) << 20;

// A word-processing package (.docx, .docm, .dotx, .dotm) and where its own
// source list is.
struct WordPackage {
    std::unique_ptr<Package> package;
    std::string mainPart; // the main document part, as "word/document.xml"
    ContentTypes contentTypes;
    // The custom XML part whose root element is the bibliography's Sources,
    // when the document has one, and its bytes.
    std::optional<std::string> listPart;
    std::string listText;
    std::string error; // empty when all of the above is known; else one sentence naming the file

    bool ok() const { return error.empty(); }
};

// Opens path as a word-processing package and finds its source list. The
// error says, in one sentence, why it cannot be changed: not a zip package,
// an encrypted document (an OLE compound file), a signed package, a Strict
// package, no word-processing main document part, a part that is damaged
// or unpacks to too much.
WordPackage openWordPackage(const std::string &path);
// The same for the package in bytes, which the sentences call name.
WordPackage openWordPackage(const std::string &name, std::string bytes);

struct SourceListWritten {
    std::string listPart; // where the list went
    bool added = false; // the package had no list: its part was added
    std::string error; // empty when written

    bool ok() const { return error.empty(); }
};

// Writes the whole package to outputFd (a fresh, seekable file) with listText
// as its source list: in place of the list it has, or as a new custom XML
// part with its properties, at the lowest free item number, reached from the
// main document part and given its content type. Every other member is
// copied as it is stored. The package cannot be used afterwards.
SourceListWritten writeSourceList(WordPackage &document, std::string listText, int outputFd);

} // namespace bibsources
