#include "entry_source.h"

#include "helper_entry_source.h"

namespace bibsources {

std::unique_ptr<EntrySource> entrySourceFor(const ConversionSettings &settings)
{
    return helperEntrySource(settings);
}

} // namespace bibsources
