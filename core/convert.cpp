#include "convert.h"

#include "atomic_write.h"
#include "entry_reader.h"
#include "record.h"

#include <algorithm>
#include <filesystem>

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

} // namespace

bool Document::ok() const
{
    for (const InputReport &input : inputs) {
        if (!input.ok()) {
            return false;
        }
    }
    return true;
}

std::string outputPathFor(std::string_view inputPath)
{
    // Plain text after the folder, no joining rule: "/refs.bib" gives
    // "//Sources.xml". A bare name stays in the current folder.
    return directoryOf(inputPath) + "/Sources.xml";
}

std::vector<InputReport> writeDocument(const std::vector<std::string> &inputPaths, const TextSink &sink)
{
    // Entry text is escaped and cleaned as it enters its record, so the
    // finished text needs no whole-document pass before it is written.
    std::vector<InputReport> reports;
    sink(documentHeader());
    for (const std::string &path : inputPaths) {
        InputReport report;
        report.inputPath = path;
        ReadReport read = readEntries(path, [&](Entry &&entry) {
            sink(sourceRecord(entry));
            ++report.recordsWritten;
        });
        report.entriesSkipped = read.entriesSkipped;
        report.diagnostics = std::move(read.diagnostics);
        report.error = std::move(read.error);
        reports.push_back(std::move(report));
    }
    sink(documentFooter);
    return reports;
}

Document buildDocument(const std::vector<std::string> &inputPaths)
{
    Document document;
    document.text.reserve(expectedDocumentSize(inputPaths));
    document.inputs = writeDocument(inputPaths, [&](std::string_view text) { document.text += text; });
    return document;
}

ConversionResult convertFile(const std::string &bibPath, const std::string &outputPath)
{
    ConversionResult result;
    result.outputPath = outputPath.empty() ? outputPathFor(bibPath) : outputPath;

    // The records go to disk while the parser is still reading, so a large
    // file is written in the time it takes to parse it.
    AtomicFile file(result.outputPath);
    std::vector<InputReport> inputs = writeDocument({bibPath}, [&](std::string_view text) { file.append(text); });
    InputReport &input = inputs.front();
    result.recordsWritten = input.recordsWritten;
    result.entriesSkipped = input.entriesSkipped;
    result.diagnostics = std::move(input.diagnostics);
    if (!input.ok()) {
        // Nothing is written for an input we could not read: an existing
        // Sources.xml is worth more than an empty one.
        result.error = std::move(input.error);
        return result;
    }
    result.error = file.commit();
    return result;
}

} // namespace bibsources
