#pragma once

#include "entry_source.h"

namespace bibsources {

// Entries read by btparse in the sandboxed parser helper, restarted behind
// any entry it dies on (worker_reader.h). The settings must outlive it.
std::unique_ptr<EntrySource> helperEntrySource(const ConversionSettings &settings);

} // namespace bibsources
