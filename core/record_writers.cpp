#include "record_writers.h"

#include "field_table.h"
#include "record.h"
#include "tidy_document.h"

namespace bibsources {

namespace {

// A read that tells the run's progress, counting the records made so far.
EntryReading readingFor(
    const std::string &inputPath, const ConversionHooks &hooks, FieldSelection fields, const int &entriesRead)
{
    EntryReading reading;
    reading.fields = std::move(fields);
    reading.stop = hooks.stop;
    if (hooks.progress) {
        reading.progress = [&hooks, &inputPath, &entriesRead](std::uint64_t read, std::uint64_t total) {
            hooks.progress(ConversionProgress{inputPath, read, total, entriesRead});
        };
    }
    return reading;
}

// Each entry becomes its record as it arrives: nothing is kept.
class PlainRecordWriter final : public RecordWriter {
public:
    explicit PlainRecordWriter(const EntrySource &source)
        : source(source)
    {
    }

    InputReport write(const std::string &path, const ConversionHooks &hooks, const TextSink &sink) override
    {
        InputReport report;
        report.inputPath = path;
        const EntryReading reading
            = readingFor(path, hooks, helperFields(FieldsFor::PlainMapping), report.recordsWritten);
        ReadReport read = source.open(path)->read(reading, [&](Entry &&entry) {
            sink(sourceRecord(entry));
            ++report.recordsWritten;
        });
        report.entriesSkipped = read.entriesSkipped;
        report.textWithoutEntriesLine = read.textWithoutEntriesLine;
        report.messages = std::move(read.messages);
        report.error = std::move(read.error);
        return report;
    }

private:
    const EntrySource &source;
};

// Entries wait for the parents they name, and may be read twice; see
// TidyWriter. The commands of the macro files are read once, for every input.
class TidyRecordWriter final : public RecordWriter {
public:
    TidyRecordWriter(const ConversionSettings &settings, TagBook &tags, const EntrySource &source)
        : settings(settings)
        , tags(tags)
        , source(source)
        , definitions(readDefinitionFiles(settings.macroFiles))
    {
    }

    std::string error() const override { return definitions.error; }

    std::vector<Message> runMessages() const override
    {
        std::vector<Message> said;
        for (const std::string &text : definitions.messages) {
            said.push_back(Message{0, 0, Message::Kind::Input, text});
        }
        return said;
    }

    InputReport write(const std::string &path, const ConversionHooks &hooks, const TextSink &sink) override
    {
        InputReport report;
        report.inputPath = path;
        const EntryReading reading = readingFor(path, hooks, fieldsToRead(hooks), report.recordsWritten);
        TidyWriter tidy(path, sink, settings.temporaryFolder, &tags, definitions.definitions);
        if (hooks.fieldReport || settings.tellFieldsLeftOut) {
            tidy.reportFields(hooks.fieldReport, settings.tellFieldsLeftOut);
        }
        const std::unique_ptr<EntryInput> input = source.open(path);
        ReadReport read = input->read(reading, [&](Entry &&entry) {
            tidy.add(std::move(entry));
            ++report.recordsWritten; // entries so far, for progress; the records are counted below
        });
        if (read.ok() && tidy.wantsEntriesAgain()) {
            read.error = readParentsAgain(*input, tidy, path, hooks);
        }
        TidyReport written = tidy.finish();
        report.recordsWritten = written.recordsWritten;
        report.entriesSkipped = read.entriesSkipped;
        report.textWithoutEntriesLine = read.textWithoutEntriesLine;
        if (!written.keptCommands.empty()) {
            report.messages.push_back(Message{0, 0, Message::Kind::Input, std::move(written.keptCommands)});
        }
        report.messages.insert(report.messages.end(), read.messages.begin(), read.messages.end());
        report.messages.insert(report.messages.end(), written.messages.begin(), written.messages.end());
        report.error = read.ok() ? std::move(written.error) : std::move(read.error);
        return report;
    }

private:
    FieldSelection fieldsToRead(const ConversionHooks &hooks) const
    {
        FieldSelection fields = helperFields(FieldsFor::TidyMapping);
        // A report of every field needs to know of those the mapping never reads.
        fields.namesOfTheRest = hooks.fieldReport || settings.tellFieldsLeftOut;
        return fields;
    }

    // Parents that were let go before a child named them: the input is read
    // again, through the descriptor it was first read from, and only as far
    // as the last of them. This read's messages and skips are the first
    // read's again, and its progress would send the bar back to the start:
    // neither is passed on. Returns why the parents could not be read, or
    // nothing.
    std::string readParentsAgain(const EntryInput &input, TidyWriter &tidy, const std::string &path,
        const ConversionHooks &hooks) const
    {
        std::stop_source enough;
        const std::stop_callback stopped(hooks.stop, [&enough] { enough.request_stop(); });
        int entriesRead = 0;
        EntryReading reading
            = readingFor(path, ConversionHooks{}, fieldsToRead(ConversionHooks{}), entriesRead);
        reading.stop = enough.get_token();
        ReadReport again = input.read(reading, [&](Entry &&entry) {
            tidy.addAgain(entry);
            if (!tidy.wantsEntriesAgain()) {
                enough.request_stop();
            }
        });
        return tidy.wantsEntriesAgain() ? std::move(again.error) : std::string();
    }

    const ConversionSettings &settings;
    TagBook &tags;
    const EntrySource &source;
    DefinitionFiles definitions;
};

} // namespace

std::unique_ptr<RecordWriter> recordWriterFor(
    const ConversionSettings &settings, TagBook &tags, const EntrySource &source)
{
    if (settings.tidy) {
        return std::make_unique<TidyRecordWriter>(settings, tags, source);
    }
    return std::make_unique<PlainRecordWriter>(source);
}

} // namespace bibsources
