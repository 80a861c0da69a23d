#include "bib_text.h"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

namespace bibsources {

namespace {

struct FreeUtf8 {
    void operator()(utf8proc_uint8_t *p) const { std::free(p); }
};

} // namespace

std::string keyIdentity(std::string_view key)
{
    utf8proc_uint8_t *folded = nullptr;
    const utf8proc_ssize_t length = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t *>(key.data()),
        static_cast<utf8proc_ssize_t>(key.size()), &folded, UTF8PROC_CASEFOLD);
    const std::unique_ptr<utf8proc_uint8_t, FreeUtf8> owned(folded);
    if (length < 0) {
        return std::string(key); // not UTF-8: compared as it is
    }
    return std::string(reinterpret_cast<const char *>(folded), static_cast<size_t>(length));
}

} // namespace bibsources
