#pragma once

#include <string>
#include <vector>

namespace bibsources {

// Why names cannot be the members of a package we change, as the end of a
// sentence: "it has two members named 'word/media/image1.png'" (part names
// are compared without regard to ASCII case, as the package format does),
// or "the name of its member 'a\x00b.xml' holds a NUL ...", which the zip
// libraries cannot keep. Every other byte of a name, control characters
// included, is kept as it is stored. Empty when they are fine.
std::string memberNamesProblem(const std::vector<std::string> &names);

} // namespace bibsources
