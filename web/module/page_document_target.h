#pragma once

#include "record_target.h"

#include <memory>
#include <string>

namespace bibsources {

// The records of a run put into the Word document at documentPath as its
// own source list, as `bibsources -o DOCUMENT` puts them (merged into the
// list it has with settings.mergeIntoOutput, else in its place), the
// document refused in the command's words. The document is never changed
// where it is: the whole package, written again, is handed to the page in
// pieces (Module.takeOutput), and nothing when the list already was what it
// would become (the result says unchanged).
std::unique_ptr<RecordTarget> pageDocumentTarget(
    const std::string &documentPath, const ConversionSettings &settings);

} // namespace bibsources
