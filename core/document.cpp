#include "document.h"

#include "entry_source.h"
#include "record_writers.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>

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
    // 4 GiB at most, or what the address space allows where it is smaller.
    constexpr std::uint64_t largest = std::min<std::uint64_t>(std::uint64_t(1) << 32, SIZE_MAX);
    return size_t(std::min<std::uint64_t>(std::uint64_t(total) * 3, largest));
}

} // namespace

std::vector<InputReport> unreadInputs(const std::vector<std::string> &inputPaths)
{
    std::vector<InputReport> inputs(inputPaths.size());
    for (size_t i = 0; i < inputPaths.size(); ++i) {
        inputs[i].inputPath = inputPaths[i];
    }
    return inputs;
}

std::string emptySourceList()
{
    return documentHeader() + std::string(documentFooter);
}

bool Document::ok() const
{
    return std::all_of(inputs.begin(), inputs.end(), [](const InputReport &input) { return input.ok(); });
}

std::vector<InputReport> writeDocument(const std::vector<std::string> &inputPaths,
    const ConversionSettings &settings, const ConversionHooks &hooks, const TextSink &sink, TagBook *tags)
{
    TagBook ownTags;
    const std::unique_ptr<EntrySource> source = entrySourceFor(settings);
    const std::unique_ptr<RecordWriter> writer = recordWriterFor(settings, tags ? *tags : ownTags, *source);
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

} // namespace bibsources
