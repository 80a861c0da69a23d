#pragma once

#include "entry_source.h"

namespace bibsources {

// Entries read by our own BibTeX reader (bib_reader.h), in this process,
// from the input opened as the parser helper opens it (utf8_input.h).
std::unique_ptr<EntrySource> readerEntrySource();

} // namespace bibsources
