#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// The b:Guid of a tidy record: an upper-case name-based UUID (version 5) in
// braces, "{8F0C...}", made from the input file's name (without its folder)
// and the citation key. The same file and key give the same Guid in every
// run, so a word processor sees a converted-again source as a newer copy of
// the one it has, and different keys or files give different Guids.
std::string sourceGuid(std::string_view inputPath, std::string_view citationKey);

} // namespace bibsources
