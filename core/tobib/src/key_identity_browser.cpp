#include "bib_text.h"

#include <cstdlib>
#include <memory>

// In key_identity_browser.js: the `length` bytes at `key` with the case of
// every letter folded, as utf8proc's full case folding does. Returns the
// folded UTF-8 in memory the caller frees, its length in *foldedLength;
// null for text that is not valid UTF-8.
extern "C" char *bibsources_folded_key(const char *key, int length, int *foldedLength);

namespace bibsources {

namespace {

struct FreeText {
    void operator()(char *p) const { std::free(p); }
};

} // namespace

std::string keyIdentity(std::string_view key)
{
    int length = 0;
    const std::unique_ptr<char, FreeText> folded(bibsources_folded_key(key.data(), int(key.size()), &length));
    if (!folded) {
        return std::string(key); // not UTF-8: compared as it is
    }
    return std::string(folded.get(), size_t(length));
}

} // namespace bibsources
