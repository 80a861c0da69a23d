#include "bibsources/conversion.h"

#include "atomic_write.h"
#include "document.h"
#include "record.h"
#include "worker_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace bibsources {

namespace {

constexpr std::string_view bibliographyNamespace
    = "http://schemas.openxmlformats.org/officeDocument/2006/bibliography";

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

WorkerSettings workerSettingsFor(const std::string &inputPath, const ConversionSettings &settings,
    const ConversionHooks &hooks, const int &entriesRead)
{
    WorkerSettings worker;
    worker.helperPath = settings.helperPath;
    worker.memoryLimit = settings.helperMemoryLimit;
    worker.timeoutSeconds = settings.helperTimeoutSeconds;
    worker.stop = hooks.stop;
    if (hooks.progress) {
        worker.progress = [&hooks, &inputPath, &entriesRead](std::uint64_t read, std::uint64_t total) {
            hooks.progress(ConversionProgress{inputPath, read, total, entriesRead});
        };
    }
    return worker;
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

bool writeAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

} // namespace

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
    const ConversionSettings &settings, const ConversionHooks &hooks, const TextSink &sink)
{
    // Entry text is escaped and cleaned as it enters its record, so the
    // finished text needs no whole-document pass before it is written.
    std::vector<InputReport> reports;
    sink(documentHeader());
    for (const std::string &path : inputPaths) {
        InputReport report;
        report.inputPath = path;
        const WorkerSettings worker = workerSettingsFor(path, settings, hooks, report.recordsWritten);
        ReadReport read = readEntriesInWorker(path, worker, [&](Entry &&entry) {
            sink(sourceRecord(entry));
            ++report.recordsWritten;
        });
        report.entriesSkipped = read.entriesSkipped;
        report.messages = std::move(read.diagnostics);
        report.error = std::move(read.error);
        reports.push_back(std::move(report));
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
    ConversionResult result;
    result.outputPath = outputPath;
    // The records go to disk while the parser is still reading, so a large
    // file is written in the time it takes to parse it. Nothing is put in
    // place for an input we could not read: an existing Sources.xml is worth
    // more than an incomplete one.
    AtomicFile file(outputPath);
    result.inputs
        = writeDocument(inputPaths, settings, hooks, [&](std::string_view text) { file.append(text); });
    takeFirstError(result, hooks);
    if (result.ok()) {
        result.error = file.commit();
    }
    return result;
}

ConversionResult convertToDescriptor(const std::vector<std::string> &inputPaths, int outputFd,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    // A descriptor cannot take anything back, so the document is held until
    // every input is known to be good.
    ConversionResult result;
    std::string text;
    result.inputs
        = writeDocument(inputPaths, settings, hooks, [&](std::string_view piece) { text += piece; });
    takeFirstError(result, hooks);
    if (result.ok() && !writeAll(outputFd, text)) {
        result.error = std::string("cannot write the document: ") + std::strerror(errno);
    }
    return result;
}

} // namespace bibsources
