#include "text.h"

#include <cstdlib>
#include <memory>
#include <optional>

// In unicode_browser.js: the `length` bytes at `text` decomposed, case
// folded (upper case then lower, so "ß" folds to "ss" as full case folding
// does) and their marks dropped, as utf8proc's build does. Returns the
// folded UTF-8 in memory the caller frees, its length in *foldedLength;
// null for text that is not valid UTF-8.
extern "C" char *bibsources_folded_text(const char *text, int length, int *foldedLength);

namespace bibsources {

namespace {

struct FreeText {
    void operator()(char *p) const { std::free(p); }
};

// ASCII text folds to its lower case and nothing else, and needs no trip
// out of the module: month names and most words are ASCII.
std::optional<std::string> foldedAscii(std::string_view word)
{
    std::string folded(word);
    for (char &byte : folded) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            return std::nullopt;
        }
        if (byte >= 'A' && byte <= 'Z') {
            byte = char(byte - 'A' + 'a');
        }
    }
    return folded;
}

} // namespace

std::string foldedText(std::string_view word)
{
    if (std::optional<std::string> ascii = foldedAscii(word)) {
        return *std::move(ascii);
    }
    int length = 0;
    const std::unique_ptr<char, FreeText> folded(
        bibsources_folded_text(word.data(), int(word.size()), &length));
    if (!folded) {
        return {};
    }
    return std::string(folded.get(), size_t(length));
}

} // namespace bibsources
