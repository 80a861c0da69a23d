#include "tidy_guid.h"

#include <emscripten.h>

#include <array>

namespace bibsources {

namespace {

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
    const std::string name = guid_parts::name(inputPath, citationKey);
    std::array<char, 37> text{};
    bibsources_name_based_uuid(guid_parts::nameSpace, name.data(), int(name.size()), text.data());
    return "{" + std::string(text.data()) + "}";
}

} // namespace bibsources
