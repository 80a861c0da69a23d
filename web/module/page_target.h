#pragma once

#include "record_target.h"

#include <memory>

namespace bibsources {

// The records of a run handed to the page as they are made, in pieces of
// about a megabyte (Module.takeOutput(bytes)), so the document never has to
// be held twice in the module's memory. The page keeps the pieces as the
// parts of the file it offers, and drops them when the run fails.
std::unique_ptr<RecordTarget> pageTarget();

} // namespace bibsources
