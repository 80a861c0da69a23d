#pragma once

#include "bibsources/conversion.h"
#include "entry_source.h"
#include "tag_book.h"
#include "xml.h"

#include <memory>
#include <string>
#include <vector>

namespace bibsources {

// Writes the records of one input after another into a document, in one
// mapping. The run chooses its writer once (recordWriterFor); the pipeline
// around it does not know which mapping it drives.
class RecordWriter {
public:
    virtual ~RecordWriter() = default;

    // Why the writer cannot start, one sentence naming the file (a macro
    // file that cannot be read), or empty.
    virtual std::string error() const { return {}; }

    // What the run says once, before the messages of its first input.
    virtual std::vector<Message> runMessages() const { return {}; }

    // Reads the input at `path` and hands its records to sink in order.
    virtual InputReport write(const std::string &path, const ConversionHooks &hooks, const TextSink &sink)
        = 0;
};

// The default mapping, or with settings.tidy the tidy one, whose records
// take their tags from `tags` (those of the whole document), reading every
// input from `source`. The settings, tags and source must outlive the writer.
std::unique_ptr<RecordWriter> recordWriterFor(
    const ConversionSettings &settings, TagBook &tags, const EntrySource &source);

} // namespace bibsources
