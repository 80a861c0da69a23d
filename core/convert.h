#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// What one input contributed to a document.
struct InputReport {
    std::string inputPath;
    int recordsWritten = 0;
    int entriesSkipped = 0; // entries btparse could not parse cleanly
    std::vector<std::string> diagnostics; // the parser's messages about this input
    std::string error; // empty unless the input could not be read

    bool ok() const { return error.empty(); }
};

// A finished Sources.xml document and what each input contributed to it.
struct Document {
    std::string text; // UTF-8, cleaned, ready to write
    std::vector<InputReport> inputs;

    bool ok() const;
};

// The result of converting one file.
struct ConversionResult {
    std::string outputPath;
    int recordsWritten = 0;
    int entriesSkipped = 0;
    std::vector<std::string> diagnostics;
    std::string error; // empty on success, else one sentence for a person

    bool ok() const { return error.empty(); }
};

// The Sources.xml beside a file: its directory followed by "/Sources.xml"
// ("/refs.bib" gives "//Sources.xml"; a bare "refs.bib" gives "./Sources.xml").
std::string outputPathFor(std::string_view inputPath);

// Receives the text of a document piece by piece, in order.
using TextSink = std::function<void(std::string_view)>;

// Produces one document holding the records of every input, in order, and
// hands its text to sink as it is made. An input that cannot be read is
// reported in its InputReport; the text is then incomplete.
std::vector<InputReport> writeDocument(const std::vector<std::string> &inputPaths, const TextSink &sink);

// The same document as one text.
Document buildDocument(const std::vector<std::string> &inputPaths);

// Converts one .bib file into outputPath (default: outputPathFor(bibPath)),
// replacing it atomically. Nothing is written when the input cannot be read.
// Reports every failure in the result, never throws.
ConversionResult convertFile(const std::string &bibPath, const std::string &outputPath = {});

} // namespace bibsources
