#pragma once

#include "entry.h"

#include <string>

namespace bibsources {

// The b:Source element for one entry: tag, source type, the empty Guid and
// LCID, a ThesisType for thesis entries, then one element per known field in
// the order of the entry's fields. All entry text is escaped and cleaned, so
// the record is always well-formed XML.
std::string sourceRecord(const Entry &entry);

} // namespace bibsources
