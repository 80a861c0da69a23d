#pragma once

#include "bibsources/conversion.h"
#include "entry.h"
#include "helper_command.h"
#include "read_report.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

namespace bibsources {

// How one read through an input goes: the fields each entry keeps, who hears
// how far it has come, and when it is to end.
struct EntryReading {
    FieldSelection fields;
    // Called now and then with how far into the input the reading has come.
    std::function<void(std::uint64_t bytesRead, std::uint64_t bytesTotal)> progress;
    // Once requested, the read ends soon after, with an error.
    std::stop_token stop;
};

// One input, opened once, that can be read through from its start as often
// as a mapping asks (the tidy one reads again for parents let go too soon).
// Every read sees the input as it was opened.
class EntryInput {
public:
    virtual ~EntryInput() = default;

    // Hands the entries to sink in input order. An input that could not be
    // opened gives only the error saying why.
    virtual ReadReport read(const EntryReading &reading, const EntrySink &sink) const = 0;
};

// Where the entries of a run come from. The run chooses its source once
// (entrySourceFor); the record writers do not know which reader they drive.
class EntrySource {
public:
    virtual ~EntrySource() = default;

    // Opens the input at `path` ("-": standard input).
    virtual std::unique_ptr<EntryInput> open(const std::string &path) const = 0;
};

// The source the settings choose. The settings must outlive it.
std::unique_ptr<EntrySource> entrySourceFor(const ConversionSettings &settings);

} // namespace bibsources
