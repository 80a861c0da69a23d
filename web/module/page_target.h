#pragma once

#include "record_target.h"

#include <memory>

namespace bibsources {

// The records of a run handed to the page as they are made, in pieces of
// about a megabyte (Module.takeOutput(bytes)), so the document never has to
// be held twice in the module's memory. The page keeps the pieces as the
// parts of the file it offers, and drops them when the run fails.
std::unique_ptr<RecordTarget> pageTarget();

// Hands `length` bytes at `bytes` to Module.takeOutput, as the pieces of a
// run's output go; for output made otherwise than record by record (the
// BibTeX text, a merged list).
void handOutput(const char *bytes, int length);

} // namespace bibsources
