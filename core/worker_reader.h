#pragma once

#include "entry_reader.h"

#include <string>

namespace bibsources {

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
ReadReport readEntriesInWorker(const std::string &inputPath, const EntrySink &sink);

} // namespace bibsources
