#pragma once

#include "bibsources/conversion.h"
#include "entry.h"
#include "helper_command.h"
#include "read_report.h"
#include "unique_fd.h"

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

namespace bibsources {

// How the worker is run, and who hears of its progress.
struct WorkerSettings {
    FieldSelection fields; // the fields each entry keeps
    std::string helperPath; // empty: found beside the running program
    std::uint64_t memoryLimit = 0; // 0: the larger of 4 GiB and 8x the input
    double timeoutSeconds = 10; // longest silence before the worker is stopped
    // Called now and then with how far into the input the parser has read.
    std::function<void(std::uint64_t bytesRead, std::uint64_t bytesTotal)> progress;
    // Once requested, the worker is killed and the read ends with an error.
    std::stop_token stop;
};

// Reads one input ("-" for standard input) by running btparse in a sandboxed
// worker process, with exactly the entries, skips and parser messages the
// same loop gives in this process, for every input the parser survives.
//
// An entry on which the worker crashes, exits, runs out of memory or stalls
// is skipped and reported with its line; a new worker, given the macro
// definitions made before that entry, resumes behind it. Every restart starts
// further into the input than the one before, so a bad input costs at most
// a few workers per bad entry and can never make the reader loop.
//
// Standard input is first copied into an anonymous in-memory file, so that a
// restarted worker can begin in the middle of it.
ReadReport readEntriesInWorker(
    const std::string &inputPath, const WorkerSettings &settings, const EntrySink &sink);

// One input opened for reading, as readEntriesInWorker opens it, that can be
// read through more than once. Every read goes through the one descriptor
// opened here, so a file renamed or replaced in between is not noticed, and
// standard input, buffered when opened, reads the same each time.
class WorkerInput {
public:
    explicit WorkerInput(const std::string &inputPath);

    // Reads the input from its start, as readEntriesInWorker does. An input
    // that could not be opened gives only the error saying why.
    ReadReport read(const WorkerSettings &settings, const EntrySink &sink) const;

private:
    UniqueFd fd;
    std::string fileName; // as messages name it
    std::string failure;
    std::uint64_t textStart = 0; // past a UTF-8 byte-order mark
};

} // namespace bibsources
