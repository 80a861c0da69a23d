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

// What sourceGuid's UUID is made of, for its two makers (libuuid in the
// programs, Boost's UUID library in the browser), which must agree.
namespace guid_parts {

// The name space of every Guid we make; any fixed UUID would do, as long as
// it never changes: a different one would give every source a new identity.
inline constexpr char nameSpace[] = "6f1b4a52-9c3e-4d57-8a0e-2b7c5d91e4a3";

// The name: the file's name without its folder, a NUL (no character of a
// file name or key, so ("a", "bc") and ("ab", "c") name different sources),
// and the key.
inline std::string name(std::string_view inputPath, std::string_view citationKey)
{
    const size_t slash = inputPath.rfind('/');
    std::string name(slash == std::string_view::npos ? inputPath : inputPath.substr(slash + 1));
    name += '\0';
    name += citationKey;
    return name;
}

} // namespace guid_parts

} // namespace bibsources
