#pragma once

#include <string>

namespace bibsources {

// A fresh random (version 4) UUID, upper case in braces, "{8F0C...}", as
// the word processor names a custom XML item: from libuuid in the programs,
// from the browser's own random UUIDs in the page.
std::string randomGuid();

} // namespace bibsources
