#include "entry_source.h"

#include "helper_entry_source.h"
#include "reader_entry_source.h"

namespace bibsources {

std::unique_ptr<EntrySource> entrySourceFor(const ConversionSettings &settings)
{
    if (settings.reader == ConversionSettings::Reader::Own) {
        return readerEntrySource();
    }
    return helperEntrySource(settings);
}

} // namespace bibsources
