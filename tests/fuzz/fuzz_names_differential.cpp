// Splits random text into names both ways, through btparse as the helper
// does and with our own splitter, and stops at the first difference in the
// people or in the warnings printed. Texts btparse aborts on are left out
// (referenceGap); names it cannot split safely the helper splits without it.

#include "fuzz_check.h"
#include "name_split.h"
#include "names_reference.h"

#include <btparse.h>

#include <string>

namespace {

std::string describe(const std::optional<std::vector<bibsources::Person>> &people)
{
    if (!people) {
        return "no list\n";
    }
    std::string text;
    for (const bibsources::Person &person : *people) {
        for (const auto *part : {&person.first, &person.von, &person.last, &person.jr}) {
            text += '[';
            for (const std::string &word : *part) {
                text += '<' + word + '>';
            }
            text += ']';
        }
        text += '\n';
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    bt_initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    if (bibsources::names_test::referenceGap(text) != bibsources::names_test::ReferenceGap::None) {
        return 0;
    }
    const bibsources::names_test::ReferenceSplit expected = bibsources::names_test::splitWithBtparse(text);
    const bibsources::SplitNames actual = bibsources::splitNames(text);
    if (expected.people != actual.people || expected.diagnostics != actual.diagnostics) {
        std::fprintf(stderr, "btparse:\n%s%s\nours:\n%s%s\n", describe(expected.people).c_str(),
            expected.diagnostics.c_str(), describe(actual.people).c_str(), actual.diagnostics.c_str());
    }
    fuzzcheck::check(expected.people == actual.people, "the people differ from btparse's", text);
    fuzzcheck::check(expected.diagnostics == actual.diagnostics, "the warnings differ from btparse's", text);
    return 0;
}
