// Fuzzes the in-process BibTeX reader alone. Whatever the bytes:
//  - it ends, without a crash or a sanitizer report;
//  - entries arrive in input order (their lines never go back);
//  - no more messages than the cap, and none longer than its limit;
//  - the slices the input comes in change nothing: read whole and read in
//    slices of the size the first byte chose, it gives the same.

#include "fuzz_check.h"

#include "bibsources/bib_reader.h"

#include <vector>

using fuzzcheck::check;

namespace {

struct Reading {
    std::vector<bibsources::Entry> entries;
    bibsources::ReadReport report;
};

Reading readInSlices(std::string_view text, std::size_t sliceSize)
{
    std::size_t at = 0;
    const bibsources::BibSlices slices = [&] {
        const std::string_view slice = text.substr(at, sliceSize);
        at += slice.size();
        return slice;
    };
    bibsources::BibReadSettings settings;
    settings.name = "fuzz.bib";
    settings.fields.kept = {"author", "editor", "title", "year", "month"};
    settings.fields.names = {"author", "editor"};
    settings.fields.namesOfTheRest = true;
    Reading reading;
    reading.report = bibsources::readBib(slices, text.size(), settings,
        [&](bibsources::Entry &&entry) { reading.entries.push_back(std::move(entry)); });
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::size_t sliceSize = 1 + data[0] % 64;
    const std::string_view text(reinterpret_cast<const char *>(data) + 1, size - 1);
    const Reading whole = readInSlices(text, text.size() + 1);
    const Reading sliced = readInSlices(text, sliceSize);
    check(whole.entries == sliced.entries, "slices changed the entries", text);
    check(whole.report.messages == sliced.report.messages, "slices changed the messages", text);
    check(whole.report.entriesSkipped == sliced.report.entriesSkipped, "slices changed the skips", text);
    int line = 0;
    for (const bibsources::Entry &entry : whole.entries) {
        check(entry.line >= line && entry.line >= 1, "entries out of input order", text);
        line = entry.line;
    }
    check(whole.report.messages.size() <= 10001, "more messages than the cap", text);
    for (const bibsources::Message &message : whole.report.messages) {
        check(message.text.size() <= 1000, "a message longer than its limit", text);
    }
    return 0;
}
