// Fuzzes the TeX-to-text conversion of field values. It returns whatever the
// input, and for valid UTF-8 input:
//  - the text it returns is valid UTF-8;
//  - text without any character TeX treats specially comes back unchanged;
//  - it drops no letter or digit: the result has at least as many characters
//    as the input has ASCII letters and digits outside command names, unless
//    a command drops an argument or a size by design (\href, \kern, ...).

#include "fuzz_check.h"

#include "text.h"

#include <algorithm>

using fuzzcheck::check;

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

size_t lettersOutsideCommands(std::string_view text)
{
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
            while (i + 1 < text.size() && isLetter(text[i + 1]) && isLetter(text[i])) {
                ++i;
            }
        } else if (isLetter(text[i]) || (text[i] >= '0' && text[i] <= '9')) {
            ++count;
        }
    }
    return count;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::string text = bibsources::texToText(input);
    if (!fuzzcheck::isValidUtf8(input)) {
        return 0;
    }
    check(fuzzcheck::isValidUtf8(text), "the text of valid UTF-8 is not valid UTF-8", input);
    if (input.find_first_of("\\{}$~-`'") == std::string_view::npos) {
        check(text == input, "text without TeX changed", input);
    }
    // Sizes, numbers, colours, labels and sort keys print nothing.
    constexpr std::string_view dropping[] = {"\\href", "noop", "Noop", "kern", "skip", "\\raise", "\\lower",
        "\\move", "penalty", "accent", "box", "space", "color", "label", "index", "rule", "phantom", "nocite",
        "glossary", "hyphenation", "enlargethispage", "foreignlanguage", "texorpdfstring"};
    const bool dropsByDesign = std::ranges::any_of(
        dropping, [&](std::string_view word) { return input.find(word) != std::string_view::npos; });
    if (!dropsByDesign) {
        // The text is valid UTF-8: each byte that does not continue a character starts one.
        const auto characters
            = std::ranges::count_if(text, [](unsigned char c) { return (c & 0xC0) != 0x80; });
        check(size_t(characters) >= lettersOutsideCommands(input), "letters of the text were dropped", input);
    }
    return 0;
}
