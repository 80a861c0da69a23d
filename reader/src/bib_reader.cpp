#include "bibsources/bib_reader.h"

#include "bib_syntax.h"
#include "message_cap.h"
#include "slice_cursor.h"

#include <utility>

namespace bibsources {

namespace {

// Progress is worth a call every quarter megabyte or so, not per entry.
constexpr std::uint64_t progressEvery = 256 * 1024;

} // namespace

ReadReport readBib(
    const BibSlices &input, std::uint64_t inputSize, const BibReadSettings &settings, const EntrySink &sink)
{
    ReadReport report;
    MessageCap messages;
    reader::SliceCursor cursor(input);
    reader::BibSyntax syntax(cursor, settings.fields, settings.name);
    std::uint64_t reportedUpTo = 0;
    int entriesHandedOn = 0;
    while (syntax.hasMore()) {
        if (settings.stopRequested && settings.stopRequested()) {
            report.error = "the conversion of '" + settings.name + "' was stopped";
            break;
        }
        reader::BibStep step = syntax.next();
        for (Message &message : step.messages) {
            messages.add(std::move(message));
        }
        if (settings.progress && cursor.offset() >= reportedUpTo + progressEvery) {
            reportedUpTo = cursor.offset();
            settings.progress(cursor.offset(), inputSize);
        }
        if (step.kind == reader::BibStep::Kind::Skipped) {
            ++report.entriesSkipped;
        } else if (step.kind == reader::BibStep::Kind::Entry) {
            ++entriesHandedOn;
            sink(std::move(step.entry));
        }
    }
    if (entriesHandedOn == 0 && report.entriesSkipped == 0 && report.ok()) {
        report.textWithoutEntriesLine = syntax.textWithoutEntriesLine();
    }
    report.messages = std::move(messages).finish();
    return report;
}

} // namespace bibsources
