// Fuzzes reading definitions and expanding them; the input is a text of
// definitions and a field value, split at the first line feed. For any input:
//  - reading and expanding return within the limits, however the
//    definitions recurse;
//  - an expansion that names a problem leaves the field as written;
//  - the expansion of valid UTF-8 is valid UTF-8, and so are its text and
//    every problem said on the way;
//  - no expansion is much longer than its limit.

#include "fuzz_check.h"

#include "text.h"

using fuzzcheck::check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\n');
    const std::string_view definitionText = input.substr(0, split);
    const std::string_view field
        = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    bibsources::TexDefinitions definitions;
    const std::vector<std::string> problems = definitions.read(definitionText);
    const bibsources::Expansion expansion = bibsources::expandDefinitions(field, definitions);
    const std::string text = bibsources::texToText(expansion.text);
    if (!expansion.problem.empty()) {
        check(expansion.text == field, "an expansion with a problem changed the field", input);
    }
    // The limit is 64 KiB or 16 times the field; a last body and its
    // arguments may pass it before it is checked.
    check(expansion.text.size() <= 2 * (64 * 1024 + 16 * field.size() + input.size()),
        "an expansion grew past its limit", input);
    if (fuzzcheck::isValidUtf8(input)) {
        check(
            fuzzcheck::isValidUtf8(expansion.text), "the expansion of valid UTF-8 is not valid UTF-8", input);
        check(fuzzcheck::isValidUtf8(text), "the text of an expansion is not valid UTF-8", input);
        check(
            fuzzcheck::isValidUtf8(expansion.problem), "a problem of valid UTF-8 is not valid UTF-8", input);
        for (const std::string &problem : problems) {
            check(fuzzcheck::isValidUtf8(problem), "a problem of valid UTF-8 is not valid UTF-8", input);
        }
    }
    return 0;
}
