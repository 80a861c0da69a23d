#include "helper_entry_source.h"

#include "worker_reader.h"

namespace bibsources {

namespace {

class HelperInput final : public EntryInput {
public:
    HelperInput(const std::string &path, const ConversionSettings &settings)
        : input(path)
        , settings(settings)
    {
    }

    ReadReport read(const EntryReading &reading, const EntrySink &sink) const override
    {
        WorkerSettings worker;
        worker.fields = reading.fields;
        worker.helperPath = settings.helperPath;
        worker.memoryLimit = settings.helperMemoryLimit;
        worker.timeoutSeconds = settings.helperTimeoutSeconds;
        worker.progress = reading.progress;
        worker.stop = reading.stop;
        return input.read(worker, sink);
    }

private:
    WorkerInput input;
    const ConversionSettings &settings;
};

class HelperEntrySource final : public EntrySource {
public:
    explicit HelperEntrySource(const ConversionSettings &settings)
        : settings(settings)
    {
    }

    std::unique_ptr<EntryInput> open(const std::string &path) const override
    {
        return std::make_unique<HelperInput>(path, settings);
    }

private:
    const ConversionSettings &settings;
};

} // namespace

std::unique_ptr<EntrySource> helperEntrySource(const ConversionSettings &settings)
{
    return std::make_unique<HelperEntrySource>(settings);
}

} // namespace bibsources
