// What the page's zip reading tells of a zip file (describeZip), and of it
// written again with changes (describeRewritten), for the
// test that holds it to the golden files libzip's reading is held to: a
// module for node, given the page's zip package as Module.zip, as the
// page's worker gives it.
#include "zip_dump.h"

#include <emscripten/bind.h>

#include <string>

namespace {

std::string describe(const std::string &bytes, unsigned limit)
{
    return bibsources::describeZip(bytes, limit);
}

std::string describeRewritten(const std::string &bytes, unsigned limit)
{
    return bibsources::describeRewritten(bytes, limit);
}

} // namespace

EMSCRIPTEN_BINDINGS(zip_members)
{
    emscripten::function("describeZip", &describe);
    emscripten::function("describeRewritten", &describeRewritten);
}
