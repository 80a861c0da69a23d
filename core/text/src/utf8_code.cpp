#include "utf8_code.h"

#include <utf8proc.h>

namespace bibsources {

size_t validCharacterLength(const unsigned char *bytes, size_t size)
{
    utf8proc_int32_t codePoint = 0;
    const utf8proc_ssize_t length = utf8proc_iterate(bytes, utf8proc_ssize_t(size), &codePoint);
    return length > 0 ? size_t(length) : 0;
}

size_t encodedUtf8(char32_t codePoint, char out[4])
{
    return size_t(
        utf8proc_encode_char(utf8proc_int32_t(codePoint), reinterpret_cast<utf8proc_uint8_t *>(out)));
}

} // namespace bibsources
