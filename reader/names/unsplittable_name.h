#pragma once

#include "entry.h"

#include <optional>
#include <string_view>

namespace bibsources {

// btparse's name splitter reads memory it never wrote for a name whose part
// before its first comma is blank (", David", the way reference managers
// write a person known by one name): its part counts are garbage, and using
// them crashes or exhausts the helper. Such a name is split here instead, as
// BibTeX reads "von Last, Jr, First" with nothing before the first comma:
// after one comma the rest is the First part, after two the Jr part and
// then the First part. Words are split at blanks outside braces.
//
// The person for such a name; nullopt for any other name, which the
// splitter reads safely.
std::optional<Person> personWithoutLastName(std::string_view name);

} // namespace bibsources
