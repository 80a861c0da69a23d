#include "tidy_guid.h"

#include <emscripten.h>

#include <array>

namespace bibsources {

namespace {

// The name space of every Guid we make; the native build's, so that a
// source converted in the page has the Guid the command gives it.
constexpr char guidNamespace[] = "6f1b4a52-9c3e-4d57-8a0e-2b7c5d91e4a3";

std::string_view fileNameOf(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// A name-based (version 5) UUID of the `length` bytes at `name` in the name
// space `space`, upper case, 36 characters written to out. The page hands
// the module its UUID package's v5 as Module.nameBasedUuid.
EM_JS(void, bibsources_name_based_uuid, (const char *space, const char *name, int length, char *out), {
    const uuid
        = Module["nameBasedUuid"](HEAPU8.slice(name, name + length), UTF8ToString(space)).toUpperCase();
    stringToUTF8(uuid, out, 37);
});

} // namespace

std::string sourceGuid(std::string_view inputPath, std::string_view citationKey)
{
    // A NUL between the parts: no character of a file name or key, so
    // ("a", "bc") and ("ab", "c") name different sources.
    std::string name(fileNameOf(inputPath));
    name += '\0';
    name += citationKey;
    std::array<char, 37> text{};
    bibsources_name_based_uuid(guidNamespace, name.data(), int(name.size()), text.data());
    return "{" + std::string(text.data()) + "}";
}

} // namespace bibsources
