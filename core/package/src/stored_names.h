#pragma once

#include "zip_input.h"

#include <string>
#include <vector>

namespace bibsources {

struct StoredNames {
    std::vector<std::string> names; // the members' names, byte for byte, in stored order
    std::string error; // empty when the zip file's list of members could be read

    bool ok() const { return error.empty(); }
};

// The member names of the zip file input holds exactly as they are stored.
// libzip turns a NUL in a name into a blank as it reads the package, and
// would write it back so; these are read with minizip, which hands the bytes
// over with their length. Only the desktop's zip reading needs it.
StoredNames storedNames(const ZipInput &input);

} // namespace bibsources
