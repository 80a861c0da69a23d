#pragma once

#include "entry.h"
#include "helper_command.h"

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

} // namespace bibsources
