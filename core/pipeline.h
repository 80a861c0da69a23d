#pragma once

#include "bibsources/conversion.h"
#include "record_target.h"

#include <string>
#include <vector>

namespace bibsources {

// One run: the target opened, the records of every input made into it
// (writeDocument), an input that held entries but gave no record refused,
// the first input's failure taken as the run's, and, when every input was
// read and no stop was requested, the records put in place. Never throws.
ConversionResult runConversion(const std::vector<std::string> &inputPaths, RecordTarget &target,
    const ConversionSettings &settings, const ConversionHooks &hooks);

} // namespace bibsources
