#include "entry_source.h"

#include "reader_entry_source.h"

namespace bibsources {

// The browser has no processes to run the parser helper in: every input is
// read by our own reader, in the module.
std::unique_ptr<EntrySource> entrySourceFor(const ConversionSettings &)
{
    return readerEntrySource();
}

} // namespace bibsources
