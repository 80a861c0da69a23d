#include "folded_text.h"

#include <emscripten.h>

#include <cstdlib>
#include <memory>

namespace bibsources {

namespace {

// The browser's Unicode tables do what utf8proc does in the native build:
// decomposed, case folded (upper case then lower, so "ß" folds to "ss" as
// full case folding does), marks dropped. Returns the folded UTF-8 in
// memory the caller frees, its length in *length; null for text that is
// not valid UTF-8.
EM_JS(char *, bibsources_folded_text, (const char *text, int length, int *foldedLength), {
    let word;
    try {
        word = new TextDecoder("utf-8", {fatal : true}).decode(HEAPU8.subarray(text, text + length));
    } catch (notUtf8) {
        return 0;
    }
    const folded = word.normalize("NFD").toUpperCase().toLowerCase().normalize("NFD").replace(
        new RegExp("\\p{M}", "gu"), "");
    const bytes = new TextEncoder().encode(folded);
    const out = _malloc(bytes.length + 1);
    HEAPU8.set(bytes, out);
    HEAP32[foldedLength >> 2] = bytes.length;
    return out;
});

struct FreeText {
    void operator()(char *p) const { std::free(p); }
};

} // namespace

std::string foldedText(std::string_view word)
{
    int length = 0;
    const std::unique_ptr<char, FreeText> folded(
        bibsources_folded_text(word.data(), int(word.size()), &length));
    if (!folded) {
        return {};
    }
    return std::string(folded.get(), size_t(length));
}

} // namespace bibsources
