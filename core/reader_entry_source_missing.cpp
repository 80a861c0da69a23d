#include "reader_entry_source.h"

namespace bibsources {

namespace {

// Every input fails, saying what to do instead.
class MissingReaderInput final : public EntryInput {
public:
    explicit MissingReaderInput(const std::string &path)
        : path(path)
    {
    }

    ReadReport read(const EntryReading &, const EntrySink &) const override
    {
        ReadReport report;
        report.error = "cannot read '" + (path == "-" ? std::string("(standard input)") : path)
            + "': our own reader is not part of this build; read it with --reader=btparse";
        return report;
    }

private:
    std::string path;
};

class MissingReader final : public EntrySource {
public:
    std::unique_ptr<EntryInput> open(const std::string &path) const override
    {
        return std::make_unique<MissingReaderInput>(path);
    }
};

} // namespace

// A build without the reader library (reader/): --reader=own is refused per
// input, as an input that cannot be read.
std::unique_ptr<EntrySource> readerEntrySource()
{
    return std::make_unique<MissingReader>();
}

} // namespace bibsources
