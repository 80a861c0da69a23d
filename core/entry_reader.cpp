#include "entry_reader.h"

#include "btparse_reader.h"

namespace bibsources {

ReadReport readEntries(const std::string &inputPath, const EntrySink &sink)
{
    return readEntriesInProcess(inputPath, sink);
}

} // namespace bibsources
