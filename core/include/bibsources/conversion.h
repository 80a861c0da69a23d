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
    // What reads the .bib inputs: btparse, in the sandboxed parser helper
    // (--reader=btparse, the default), or our own reader, in this process
    // (--reader=own). Both give the same documents and messages; the helper
    // settings below apply only to the first.
    enum class Reader { Btparse, Own };
    Reader reader = Reader::Btparse;
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
    // With tidy: LaTeX files whose command definitions every input may use
    // (--macros), read in order before the inputs; each input's @preamble
    // adds its own. A file that cannot be read fails the run.
    std::vector<std::string> macroFiles;
    // convertFiles only: when the output file exists and is a source list,
    // keep its records, replace those that are the same sources converted
    // again and append the new ones (--merge). Runs merging into one list
    // take turns; a list another program saves in the meantime is merged
    // into as it is then. Tags and Guids come out unique in the list.
    bool mergeIntoOutput = false;
    // Where a document for standard output, a device or a FIFO waits, in an
    // unnamed file, until every input is known to be good. Empty: /tmp.
    std::string temporaryFolder;
    // With tidy: one message per entry naming the fields whose text went
    // nowhere, and why ("abstract: no place in the format").
    bool tellFieldsLeftOut = false;
};

// One field of a converted entry and the element its text went to: a row of
// the report of every field (--report). Only the tidy mapping reports them.
// The views last for the call that hands the row over.
struct FieldReportRow {
    std::string_view inputPath;
    int line = 0; // where the entry starts
    std::string_view key; // as the entry gives it
    std::string_view tag; // the record's b:Tag
    std::string_view field; // a field's name; several fields may go to one element
    // "b:Title", "b:Author", ...; several, blank-separated, for a field that
    // fed several ("b:Year b:Month" for a date); empty: its text went nowhere.
    std::string_view element;
    std::string_view note; // why it went nowhere, or what its text kept ("keeps \TUB")
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
    // Called once every input has been read, just before the document is put
    // in place: the last moment to clear what a program shows on a terminal
    // the document may be going to (standard output, /dev/tty).
    std::function<void()> beforeOutput;
    // A run whose stop is requested ends soon after: its helper is stopped,
    // nothing is written, and an existing output is left as it was.
    std::stop_token stop;
    // --merge: called once when another run has been merging into the same
    // list for a second, and this one waits for it to finish.
    std::function<void()> waitingForList;
    // With tidy: every field of every converted entry, as its record is made
    // (inherited fields included), from the thread that runs the conversion.
    std::function<void(const FieldReportRow &)> fieldReport;
};

// One thing a person should know about an input.
struct Message {
    enum class Kind {
        Parser, // the parser's own words ("syntax error: ...", "warning: ...")
        Skipped, // an entry left out: the parser could not read it, or died on it
        Changed, // an entry kept, but mended, retagged or not written quite as it stands
        Input, // the input as a whole: messages not kept, macros no longer kept
    };
    int line = 0; // the line it is about; 0: none in particular
    int lastLine = 0; // the last line of a stretch it is about; else equal to line
    Kind kind = Kind::Parser;
    // Without the input's name: "syntax error: ...", "lines 12-14 skipped: ...".
    std::string text;

    bool operator==(const Message &) const = default;
};

// What a person is shown for an input: its path as given, or "standard
// input" for "-".
std::string inputName(std::string_view inputPath);

// A message as one line that names its input: the parser's own about a line
// as it writes them ("refs.bib, line 12, syntax error: ..."), every other
// after the name ("refs.bib: lines 12-14 skipped: ..."). Standard input is
// "(standard input)" here, as the parser calls it.
std::string messageLine(std::string_view inputPath, const Message &message);

// What one input contributed.
struct InputReport {
    std::string inputPath;
    int recordsWritten = 0;
    int entriesSkipped = 0; // entries the parser could not read
    std::vector<Message> messages; // what the parser and the converter said about it, in order
    std::string error; // empty unless the input as a whole could not be read

    bool ok() const { return error.empty(); }
};

// What merging into an existing source list did (mergeIntoOutput).
struct MergeReport {
    bool merged = false; // there was a source list to merge into
    int recordsKept = 0; // its records left as they were
    int recordsReplaced = 0; // its records that gave way to converted ones with their tag
    int recordsAdded = 0; // converted records with tags it lacked, added at its end
    // What a person should know about the merge, one sentence each: a tag
    // the list held twice, a converted record given a fresh tag.
    std::vector<std::string> messages;
};

// What went into a word-processing document's own source list, when the
// output is a document (.docx, .docm, .dotx or .dotm) rather than a file.
struct DocumentReport {
    bool intoDocument = false; // the output was a document: its own source list was set
    bool tidyImplied
        = false; // written with the tidy mapping, which documents always get, though not asked for
    std::string listPart; // the part holding the list, as "customXml/item1.xml"
    bool listAdded = false; // the document had no list; one was added
    int recordsRemoved = 0; // without mergeIntoOutput: the records the list held before
    bool unchanged = false; // the list already was what it would have become: nothing was written
    // The tags the document's citation fields name that its list, as
    // written, lacks: each once, in the order first cited. The word
    // processor shows an error in place of those citations.
    std::vector<std::string> citedTagsMissing;
    // Why the citations could not be checked, as a clause about the
    // document ("its part 'word/document.xml' is damaged ..."); empty when
    // they were.
    std::string citationsUnchecked;
};

struct ConversionResult {
    std::string outputPath; // where the document went (or would have gone)
    std::vector<InputReport> inputs; // one per input, in order
    MergeReport merge; // only with mergeIntoOutput
    DocumentReport document; // only for a word-processing document
    std::string error; // empty when the document was written; else one sentence
    bool stopped = false; // the run ended because its stop was requested

    bool ok() const { return error.empty(); }
};

// Removes the temporary files of every run in progress in this process.
// Async-signal-safe: for a program's handler of a signal that ends it. (Most
// temporary files have no name until they are put in place; this is for
// those on file systems that cannot make unnamed ones.)
void removeTemporaryFiles() noexcept;

// The Sources.xml beside a file: its folder followed by "/Sources.xml"
// ("/refs.bib" gives "//Sources.xml"; a bare "refs.bib" gives "./Sources.xml").
std::string outputPathFor(std::string_view inputPath);

// Converts one .bib file ("-" is standard input) into outputPath (empty: the
// Sources.xml beside it), replacing that file in one step. Nothing is written
// when the input cannot be read, when it held entries but not one could be
// read, or when the run is stopped; an output that cannot be written is
// reported before the input is read. Never throws.
ConversionResult convertFile(const std::string &inputPath, const std::string &outputPath,
    const ConversionSettings &settings, const ConversionHooks &hooks = {});

// One document holding the records of every input, in order, written to
// outputPath in one step, and only when every input could be read.
// When outputPath is a word-processing document (.docx, .docm, .dotx or
// .dotm by name, or any existing file that begins as a zip package), the
// records, always in the tidy mapping, become that document's own source
// list instead: replacing the list it has, or merged into it as into a
// source list file with mergeIntoOutput. Every other part stays as it was;
// a document that does not exist, is encrypted, signed, Strict or not a
// word-processing package is refused and left alone.
// A symbolic link is followed and the file it points to replaced; a replaced
// file keeps its permissions (and, for root, its owner); one the user may not
// write is refused. An existing device, FIFO or socket is written into once
// the document is complete, and never replaced.
ConversionResult convertFiles(const std::vector<std::string> &inputPaths, const std::string &outputPath,
    const ConversionSettings &settings, const ConversionHooks &hooks = {});

// The same document, written to an open descriptor (standard output) once it
// is complete: nothing at all is written when an input cannot be read.
ConversionResult convertToDescriptor(const std::vector<std::string> &inputPaths, int outputFd,
    const ConversionSettings &settings, const ConversionHooks &hooks = {});

// Back to BibTeX. Each input is a source list (.xml) or a word-processing
// document (.docx, .docm, .dotx, .dotm, or any zip package), whose own
// source list is read. The records of every input, in order, become one
// .bib: entry types and fields reverse the tidy mapping, elements with no
// BibTeX field are kept as "ms-" fields, and keys (the tags, with what a key
// cannot hold replaced) are unique in the file. Each InputReport counts its
// records and says which tags became other keys. Nothing is written unless
// every input could be read; an output that is one of the inputs, or a
// word-processing document, is refused.
// outputPath empty: the Sources.bib beside the first input. Never throws.
ConversionResult convertToBib(const std::vector<std::string> &inputPaths, const std::string &outputPath,
    const ConversionSettings &settings);

// The same .bib, written to an open descriptor (standard output) once complete.
ConversionResult convertToBibDescriptor(
    const std::vector<std::string> &inputPaths, int outputFd, const ConversionSettings &settings);

// The Sources.bib beside a file, as outputPathFor gives its Sources.xml.
std::string bibOutputPathFor(std::string_view inputPath);

} // namespace bibsources
