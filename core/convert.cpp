#include "bibsources/conversion.h"

#include "document.h"
#include "into_document.h"
#include "merge_file.h"
#include "record_writers.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace bibsources {

namespace {

std::string documentHeader()
{
    std::string header = "<?xml version=\"1.0\"?>\n";
    header += "<b:Sources SelectedStyle=\"\" ";
    header.append("xmlns:b=\"").append(bibliographyNamespace).append("\" ");
    header.append("xmlns=\"").append(bibliographyNamespace).append("\">\n");
    return header;
}

constexpr std::string_view documentFooter = "</b:Sources>\n";

// A document is usually two to three times the size of its .bib (markup per
// field, abstracts left out). Reserving that up front spares a large file the
// repeated doubling of the buffer, each a copy of everything written so far.
size_t expectedDocumentSize(const std::vector<std::string> &inputPaths)
{
    size_t total = 0;
    for (const std::string &path : inputPaths) {
        std::error_code unknown;
        const auto size = std::filesystem::file_size(path, unknown);
        if (!unknown) {
            total += static_cast<size_t>(size);
        }
    }
    return std::min<size_t>(total * 3, size_t(1) << 32);
}

// Which output an unreadable input left alone, in the words of the message
// ("Sources.xml left as it was").
std::string outputLeftAlone(const std::string &outputPath)
{
    const std::string shown = outputPath.starts_with("./") ? outputPath.substr(2) : outputPath;
    return ::access(outputPath.c_str(), F_OK) == 0 ? shown + " left as it was" : shown + " not written";
}

// A run that fails before reading still says which inputs it was given.
std::vector<InputReport> unreadInputs(const std::vector<std::string> &inputPaths)
{
    std::vector<InputReport> inputs(inputPaths.size());
    for (size_t i = 0; i < inputPaths.size(); ++i) {
        inputs[i].inputPath = inputPaths[i];
    }
    return inputs;
}

// Writes the document into a file or spool that is already open and puts it
// in place only when every input was read. Sets `refused` when an input
// gave nothing but skipped entries.
ConversionResult writeThrough(AtomicFile &file, const std::vector<std::string> &inputPaths,
    const ConversionSettings &settings, const ConversionHooks &hooks, bool &refused)
{
    ConversionResult result;
    if (!file.error().empty()) {
        result.inputs = unreadInputs(inputPaths);
        result.error = file.error();
        return result;
    }
    result.inputs
        = writeDocument(inputPaths, settings, hooks, [&](std::string_view text) { file.append(text); });
    refused = refuseUnreadableInputs(result.inputs);
    takeFirstError(result, hooks);
    if (result.ok()) {
        if (hooks.beforeOutput) {
            hooks.beforeOutput();
        }
        result.error = file.commit();
    }
    return result;
}

// The converted records merged into the source list at outputPath, or into
// a new one. The list is locked and read before any input, so that a list
// that cannot be merged into is refused before a long conversion.
ConversionResult mergeInto(const std::string &outputPath, const std::vector<std::string> &inputPaths,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    ConversionResult result;
    result.outputPath = outputPath;
    SourceListFileMerge merge(outputPath,
        ListMergeSettings{
            emptySourceList(), settings.temporaryFolder, ListLockHooks{hooks.waitingForList, hooks.stop}});
    if (!merge.error().empty()) {
        result.error = merge.error() + "; nothing was written";
        result.stopped = merge.stopped();
        return result;
    }
    TagBook tags;
    for (const SourceListRecord &record : merge.list().records) {
        if (record.tag) {
            tags.holdListed(*record.tag, record.guid);
        }
    }
    ConvertedRecords converted(settings.temporaryFolder);
    result.inputs = writeDocument(
        inputPaths, settings, hooks, [&](std::string_view text) { converted.append(text); }, &tags);
    for (ConvertedRecord &record : converted.records()) {
        record.generatedTag = tags.isMadeUp(record.tag);
    }
    refuseUnreadableInputs(result.inputs);
    takeFirstError(result, hooks);
    if (result.ok() && !converted.error().empty()) {
        result.error = converted.error();
    }
    if (result.ok()) {
        MergeOutcome merged = merge.commit(converted);
        result.merge = std::move(merged.report);
        result.error = std::move(merged.error);
    }
    return result;
}

} // namespace

// An input that held entries but gave not one record is, as far as the
// parser could tell, not BibTeX (another encoding, random bytes); so is one
// of text without a single entry (prose, a binary file). Its empty document
// would replace a good one with nothing, so the input counts as unreadable.
// A file that is empty, or holds only comments, still gives the empty
// document.
bool refuseUnreadableInputs(std::vector<InputReport> &inputs)
{
    bool refused = false;
    for (InputReport &input : inputs) {
        if (input.ok() && input.recordsWritten == 0 && input.entriesSkipped > 0) {
            input.error = inputName(input.inputPath) + ": no entry could be read ("
                + std::to_string(input.entriesSkipped) + " skipped)";
            refused = true;
        } else if (input.ok() && input.textWithoutEntriesLine > 0) {
            input.error = inputName(input.inputPath)
                + ": not BibTeX: no entry in it, only other text (from line "
                + std::to_string(input.textWithoutEntriesLine) + ")";
            refused = true;
        }
    }
    return refused;
}

// The first input's failure, or a stop, as the run's error.
void takeFirstError(ConversionResult &result, const ConversionHooks &hooks)
{
    result.stopped = hooks.stop.stop_requested();
    for (const InputReport &input : result.inputs) {
        if (!input.ok()) {
            result.error = input.error;
            return;
        }
    }
}

std::string emptySourceList()
{
    return documentHeader() + std::string(documentFooter);
}

bool Document::ok() const
{
    return std::all_of(inputs.begin(), inputs.end(), [](const InputReport &input) { return input.ok(); });
}

std::string outputPathFor(std::string_view inputPath)
{
    // Plain text after the folder, no joining rule: "/refs.bib" gives
    // "//Sources.xml". A bare name stays in the current folder.
    return directoryOf(inputPath) + "/Sources.xml";
}

std::vector<InputReport> writeDocument(const std::vector<std::string> &inputPaths,
    const ConversionSettings &settings, const ConversionHooks &hooks, const TextSink &sink, TagBook *tags)
{
    TagBook ownTags;
    const std::unique_ptr<RecordWriter> writer = recordWriterFor(settings, tags ? *tags : ownTags);
    if (!writer->error().empty()) {
        std::vector<InputReport> reports = unreadInputs(inputPaths);
        if (reports.empty()) {
            reports.emplace_back();
        }
        reports.front().error = writer->error();
        return reports;
    }
    // Entry text is escaped and cleaned as it enters its record, so the
    // finished text needs no whole-document pass before it is written.
    std::vector<InputReport> reports;
    sink(documentHeader());
    for (const std::string &path : inputPaths) {
        reports.push_back(writer->write(path, hooks, sink));
        if (reports.size() == 1) {
            // Said once, with the first input, as they are the same for all.
            const std::vector<Message> said = writer->runMessages();
            reports.front().messages.insert(reports.front().messages.begin(), said.begin(), said.end());
        }
        if (hooks.stop.stop_requested()) {
            break;
        }
    }
    sink(documentFooter);
    return reports;
}

Document buildDocument(const std::vector<std::string> &inputPaths, const ConversionSettings &settings)
{
    Document document;
    document.text.reserve(expectedDocumentSize(inputPaths));
    document.inputs
        = writeDocument(inputPaths, settings, {}, [&](std::string_view text) { document.text += text; });
    return document;
}

ConversionResult convertFile(const std::string &inputPath, const std::string &outputPath,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    return convertFiles(
        {inputPath}, outputPath.empty() ? outputPathFor(inputPath) : outputPath, settings, hooks);
}

ConversionResult convertFiles(const std::vector<std::string> &inputPaths, const std::string &outputPath,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    if (isDocumentTarget(outputPath)) {
        return convertIntoDocument(inputPaths, outputPath, settings, hooks);
    }
    if (settings.mergeIntoOutput) {
        return mergeInto(outputPath, inputPaths, settings, hooks);
    }
    // The records go to disk while the parser is still reading, so a large
    // file is written in the time it takes to parse it. Nothing is put in
    // place for an input we could not read: an existing Sources.xml is worth
    // more than an incomplete one. An output that cannot be written is found
    // before a possibly long read, not after it.
    AtomicFile file(outputPath, settings.temporaryFolder);
    bool refused = false;
    ConversionResult result = writeThrough(file, inputPaths, settings, hooks, refused);
    result.outputPath = outputPath;
    if (refused && inputPaths.size() == 1) {
        result.error += "; " + outputLeftAlone(outputPath);
    }
    return result;
}

ConversionResult convertToDescriptor(const std::vector<std::string> &inputPaths, int outputFd,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    AtomicFile spool(outputFd, settings.temporaryFolder);
    bool refused = false;
    return writeThrough(spool, inputPaths, settings, hooks, refused);
}

} // namespace bibsources
