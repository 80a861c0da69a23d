#include "tidy_guid.h"

#include <emscripten.h>

#include <array>

namespace bibsources {

namespace {

// Writes to out the 16 bytes of the name-based (version 5) UUID of the
// `length` bytes at `name` in the name space `space`. The page hands the
// module its UUID package's v5 as Module.nameBasedUuid(name, space, out).
EM_JS(
    void, bibsources_name_based_uuid, (const char *space, const char *name, int length, unsigned char *out), {
        Module["nameBasedUuid"](
            HEAPU8.subarray(name, name + length), UTF8ToString(space), HEAPU8.subarray(out, out + 16));
    });

// The UUID's bytes as the usual 8-4-4-4-12 groups of upper-case hex digits.
std::string uuidText(const std::array<unsigned char, 16> &bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

} // namespace

std::string sourceGuid(std::string_view inputPath, std::string_view citationKey)
{
    const std::string name = guid_parts::name(inputPath, citationKey);
    std::array<unsigned char, 16> bytes{};
    bibsources_name_based_uuid(guid_parts::nameSpace, name.data(), int(name.size()), bytes.data());
    return "{" + uuidText(bytes) + "}";
}

} // namespace bibsources
