#include "tidy_guid.h"

#include <uuid/uuid.h>

namespace bibsources {

namespace {

// The name space of every Guid we make; any fixed UUID would do, as long as
// it never changes: a different one would give every source a new identity.
constexpr char guidNamespace[] = "6f1b4a52-9c3e-4d57-8a0e-2b7c5d91e4a3";

std::string_view fileNameOf(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

} // namespace

std::string sourceGuid(std::string_view inputPath, std::string_view citationKey)
{
    uuid_t space;
    uuid_parse(guidNamespace, space);
    // A NUL between the parts: no character of a file name or key, so
    // ("a", "bc") and ("ab", "c") name different sources.
    std::string name(fileNameOf(inputPath));
    name += '\0';
    name += citationKey;
    uuid_t guid;
    uuid_generate_sha1(guid, space, name.data(), name.size());
    char text[37];
    uuid_unparse_upper(guid, text);
    return "{" + std::string(text) + "}";
}

} // namespace bibsources
