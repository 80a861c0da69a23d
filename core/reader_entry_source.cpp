#include "reader_entry_source.h"

#include "bibsources/bib_reader.h"
#include "utf8_input.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

namespace {

// The reader holds only the slices of the entry it is on, so their size is
// what a read costs in memory beyond that entry. In the page each read is a
// round trip to the browser, which 4 MiB makes few.
constexpr std::size_t sliceSize = 4 << 20;

// Reads the open input from `from` to its end, one slice after another,
// each in place of the one before. A read that fails ends the input early
// and is remembered, to fail the read as a whole.
class SliceReader {
public:
    SliceReader(int fd, std::uint64_t from)
        : fd(fd)
        , offset(from)
        , buffer(sliceSize, '\0')
    {
    }

    std::string_view next()
    {
        while (!failed) {
            const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(offset));
            if (got >= 0) {
                offset += static_cast<std::uint64_t>(got);
                return {buffer.data(), static_cast<std::size_t>(got)};
            }
            failed = errno != EINTR;
        }
        return {};
    }

    bool readFailed() const { return failed; }

private:
    int fd;
    std::uint64_t offset;
    std::string buffer;
    bool failed = false;
};

class ReaderInput final : public EntryInput {
public:
    explicit ReaderInput(const std::string &path)
        : input(openUtf8Input(path))
    {
    }

    ReadReport read(const EntryReading &reading, const EntrySink &sink) const override
    {
        ReadReport report;
        if (!input.ok()) {
            report.error = input.error;
            return report;
        }
        struct stat info { };
        ::fstat(input.fd.get(), &info);
        const auto fileSize = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
        const std::uint64_t textSize = fileSize - std::min(input.textStart, fileSize);
        SliceReader slices(input.fd.get(), input.textStart);
        BibReadSettings settings;
        settings.name = input.fileName;
        settings.fields = reading.fields;
        settings.progress = reading.progress;
        const std::stop_token stop = reading.stop;
        settings.stopRequested = [stop] { return stop.stop_requested(); };
        report = readBib([&slices] { return slices.next(); }, textSize, settings, sink);
        if (report.ok() && slices.readFailed()) {
            report.error = "cannot read '" + input.fileName + "': a read error occurred";
        }
        return report;
    }

private:
    Utf8Input input;
};

class ReaderEntrySource final : public EntrySource {
public:
    std::unique_ptr<EntryInput> open(const std::string &path) const override
    {
        return std::make_unique<ReaderInput>(path);
    }
};

} // namespace

std::unique_ptr<EntrySource> readerEntrySource()
{
    return std::make_unique<ReaderEntrySource>();
}

} // namespace bibsources
