#pragma once

#include "bibsources/conversion.h"
#include "tag_book.h"
#include "xml.h"

#include <string>
#include <vector>

namespace bibsources {

// Produces one document holding the records of every input, in order, and
// hands its text to sink as it is made. The entry source and the mapping
// are chosen here, once for the run. An input that cannot be read is
// reported in its InputReport; the text is then incomplete. The tidy mapping
// gives every record of the document its own tag: tags, when given, holds
// those of a list the document is merged into and learns the made-up ones.
std::vector<InputReport> writeDocument(const std::vector<std::string> &inputPaths,
    const ConversionSettings &settings, const ConversionHooks &hooks, const TextSink &sink,
    TagBook *tags = nullptr);

// A report for each input, naming it and nothing else: what a run that ends
// before reading says about the inputs it was given.
std::vector<InputReport> unreadInputs(const std::vector<std::string> &inputPaths);

// A source list with no records, as the converter writes one.
std::string emptySourceList();

// A whole document in memory, and what each input contributed to it.
struct Document {
    std::string text; // UTF-8, ready to write
    std::vector<InputReport> inputs;

    bool ok() const;
};

Document buildDocument(const std::vector<std::string> &inputPaths, const ConversionSettings &settings = {});

} // namespace bibsources
