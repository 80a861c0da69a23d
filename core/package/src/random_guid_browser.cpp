#include "random_guid.h"

#include <emscripten.h>

#include <array>

namespace bibsources {

namespace {

// 36 characters and a NUL written to out: the browser's crypto.randomUUID,
// upper case.
EM_JS(
    void, bibsources_random_uuid, (char *out), { stringToUTF8(crypto.randomUUID().toUpperCase(), out, 37); });

} // namespace

std::string randomGuid()
{
    std::array<char, 37> text{};
    bibsources_random_uuid(text.data());
    return "{" + std::string(text.data()) + "}";
}

} // namespace bibsources
