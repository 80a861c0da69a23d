#pragma once

#include <cstddef>
#include <string>

namespace bibsources {

// What the zip reading makes of bytes, one line a fact: whether they open,
// whether their names can be told apart, and each member's name and what
// reading it with limit gives (its length, its start and a check sum of its
// bytes, or the kind of fault, without the library's own words). The
// golden files of tests/data/zip hold what both zip readings must tell.
std::string describeZip(std::string bytes, std::size_t limit);

// What the package in bytes is written as with "word/document.xml" set to
// "<changed/>" and a member "added.xml" added, described as describeZip
// does, or why it could not be written: the zip bytes each library writes
// differ, the members they hold must not.
std::string describeRewritten(std::string bytes, std::size_t limit);

} // namespace bibsources
