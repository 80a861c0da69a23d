#pragma once

// What a conversion is, for the programs built on the converter: which files
// go in, where the document goes, how the run is set up, what it reports on
// the way and what comes back. Everything else in the converter is private.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// How a run is set up. The converter reads no environment and no files of its
// own: whatever a program wants to change, it says here.
struct ConversionSettings {
    // The parser helper (bibsources-parse). Empty: the one installed beside
    // the running program, or built beside it in the build tree.
    std::string helperPath;
    // Address-space limit of the helper in bytes. 0: the larger of 4 GiB and
    // eight times the input, which no real file comes near.
    std::uint64_t helperMemoryLimit = 0;
    // How long the helper may go without progress before it is stopped and
    // the entry it was on is skipped.
    double helperTimeoutSeconds = 10;
    // The mapping for word processors (--tidy) instead of the plain one.
    bool tidy = false;
    // convertFiles only: when the output file exists and is a source list,
    // keep its records, replace those whose tag is converted again and
    // append the new ones (--merge).
    bool mergeIntoOutput = false;
};

// How far a run has come, reported from the thread that runs it, at most a
// few dozen times a second.
struct ConversionProgress {
    std::string_view inputPath;
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesTotal = 0; // the input's size
    int entriesRead = 0; // records made from this input so far
};

struct ConversionHooks {
    std::function<void(const ConversionProgress &)> progress;
    // A run whose stop is requested ends soon after: its helper is stopped,
    // nothing is written, and an existing output is left as it was.
    std::stop_token stop;
};

// What one input contributed.
struct InputReport {
    std::string inputPath;
    int recordsWritten = 0;
    int entriesSkipped = 0; // entries the parser could not read
    std::vector<std::string> messages; // the parser's messages about this input, in order
    std::string error; // empty unless the input as a whole could not be read

    bool ok() const { return error.empty(); }
};

struct ConversionResult {
    std::string outputPath; // where the document went (or would have gone)
    std::vector<InputReport> inputs; // one per input, in order
    std::string error; // empty when the document was written; else one sentence
    bool stopped = false; // the run ended because its stop was requested

    bool ok() const { return error.empty(); }
};

// The Sources.xml beside a file: its folder followed by "/Sources.xml"
// ("/refs.bib" gives "//Sources.xml"; a bare "refs.bib" gives "./Sources.xml").
std::string outputPathFor(std::string_view inputPath);

// Converts one .bib file ("-" is standard input) into outputPath (empty: the
// Sources.xml beside it), replacing that file in one step. Nothing is written
// when the input cannot be read or the run is stopped. Never throws.
ConversionResult convertFile(const std::string &inputPath, const std::string &outputPath,
    const ConversionSettings &settings, const ConversionHooks &hooks = {});

// One document holding the records of every input, in order, written to
// outputPath in one step, and only when every input could be read.
ConversionResult convertFiles(const std::vector<std::string> &inputPaths, const std::string &outputPath,
    const ConversionSettings &settings, const ConversionHooks &hooks = {});

// The same document, written to an open descriptor (standard output) once it
// is complete: nothing at all is written when an input cannot be read.
ConversionResult convertToDescriptor(const std::vector<std::string> &inputPaths, int outputFd,
    const ConversionSettings &settings, const ConversionHooks &hooks = {});

} // namespace bibsources
