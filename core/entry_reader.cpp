#include "entry_reader.h"

#include "worker_reader.h"

namespace bibsources {

ReadReport readEntries(const std::string &inputPath, const EntrySink &sink)
{
    // btparse crashes or exits on some inputs and keeps state for the whole
    // process, so it never runs in the converter's own process.
    return readEntriesInWorker(inputPath, sink);
}

} // namespace bibsources
