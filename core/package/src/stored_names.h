#pragma once

#include <string>
#include <vector>

namespace bibsources {

struct StoredNames {
    std::vector<std::string> names; // the members' names, byte for byte, in stored order
    std::string error; // empty when the zip file's list of members could be read

    bool ok() const { return error.empty(); }
};

// The member names of the zip file open as fd exactly as they are stored.
// libzip turns a NUL in a name into a blank as it reads the package, and
// would write it back so; these are read with minizip, which hands the bytes
// over with their length. The descriptor is read with pread: its file
// offset is left alone.
StoredNames storedNames(int fd);

// Why names cannot be the members of a package we change, as the end of a
// sentence: "it has two members named 'word/media/image1.png'" (part names
// are compared without regard to ASCII case, as the package format does),
// or "the name of its member 'a\x00b.xml' holds a NUL ...", which libzip
// cannot keep. Every other byte of a name, control characters included, is
// kept as it is stored. Empty when they are fine.
std::string memberNamesProblem(const std::vector<std::string> &names);

} // namespace bibsources
