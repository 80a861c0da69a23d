#include "bibsources/bib_reader.h"

#include "bib_syntax.h"
#include "slice_cursor.h"

#include <algorithm>

namespace bibsources {

namespace {

// Parser messages kept per input, and the longest kept whole: a file of
// nothing but errors must not fill memory with them.
constexpr std::size_t maxMessages = 10000;
constexpr std::size_t maxMessageLength = 1000;
// Progress is worth a call every quarter megabyte or so, not per entry.
constexpr std::uint64_t progressEvery = 256 * 1024;

class MessageCap {
public:
    explicit MessageCap(std::vector<Message> &kept)
        : kept(kept)
    {
    }

    void add(Message &&message)
    {
        if (kept.size() >= maxMessages) {
            ++dropped;
            return;
        }
        message.text.resize(std::min(message.text.size(), maxMessageLength));
        kept.push_back(std::move(message));
    }

    void finish()
    {
        if (dropped > 0) {
            kept.push_back(Message{
                0, 0, Message::Kind::Input, std::to_string(dropped) + " more parser messages not kept"});
        }
    }

private:
    std::vector<Message> &kept;
    std::size_t dropped = 0;
};

} // namespace

BibReadReport readBib(
    const BibSlices &input, std::uint64_t inputSize, const BibReadSettings &settings, const EntrySink &sink)
{
    BibReadReport report;
    MessageCap messages(report.messages);
    reader::SliceCursor cursor(input);
    reader::BibSyntax syntax(cursor, settings.fields, settings.name);
    std::uint64_t reportedUpTo = 0;
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
            sink(std::move(step.entry));
        }
    }
    messages.finish();
    return report;
}

} // namespace bibsources
