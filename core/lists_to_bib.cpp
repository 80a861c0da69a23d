#include "lists_to_bib.h"

#include "bib_document.h"
#include "merge_file.h"

namespace bibsources {

ListRead listFileOf(const std::string &path)
{
    SourceListFile file = readSourceListFile(path);
    if (!file.exists) {
        return {{}, "'" + path + "' does not exist"};
    }
    return {std::move(file.list.text), file.error};
}

ConversionResult bibOf(
    const std::vector<std::string> &inputPaths, const ListReading &read, const TextSink &sink)
{
    ConversionResult result;
    BibWriter writer;
    std::string text;
    for (const std::string &path : inputPaths) {
        InputReport &report = result.inputs.emplace_back();
        report.inputPath = path;
        ListRead list = read(path);
        if (!list.error.empty()) {
            report.error = list.error;
            continue;
        }
        BibEntries entries = writer.entries(list.text);
        if (!entries.ok()) {
            report.error = "'" + path + "': " + entries.error;
            continue;
        }
        report.recordsWritten = entries.records;
        for (std::string &message : entries.messages) {
            report.messages.push_back(Message{0, 0, Message::Kind::Changed, std::move(message)});
        }
        text += entries.text;
    }
    for (const InputReport &input : result.inputs) {
        if (!input.ok()) {
            result.error = input.error;
            return result;
        }
    }
    sink(text);
    return result;
}

} // namespace bibsources
