#include "text.h"

#include <cstdlib>
#include <memory>
#include <utf8proc.h>

namespace bibsources {

namespace {

struct FreeUtf8 {
    void operator()(utf8proc_uint8_t *p) const { std::free(p); }
};

} // namespace

std::string foldedText(std::string_view word)
{
    utf8proc_uint8_t *mapped = nullptr;
    const utf8proc_ssize_t length = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t *>(word.data()),
        static_cast<utf8proc_ssize_t>(word.size()), &mapped,
        utf8proc_option_t(UTF8PROC_DECOMPOSE | UTF8PROC_CASEFOLD | UTF8PROC_STRIPMARK));
    const std::unique_ptr<utf8proc_uint8_t, FreeUtf8> owned(mapped);
    if (length < 0) {
        return {};
    }
    return std::string(reinterpret_cast<const char *>(mapped), static_cast<size_t>(length));
}

} // namespace bibsources
