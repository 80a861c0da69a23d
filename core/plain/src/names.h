#pragma once

#include "entry.h"

#include <string>
#include <string_view>

namespace bibsources {

enum class NamePart { First = 0, Last = 2 };

// The elements one part of a name contributes to a b:Person: nothing for a
// part without tokens; "<b:Last>...</b:Last>\n" for the last part; for the
// first part "<b:First>...</b:First>\n", followed by "<b:Middle>...</b:Middle>\n"
// holding its final token when it has two or more. Several tokens in one
// element are joined by one space. Text is escaped and cleaned for XML.
// Appended to `out` without an intermediate string: the names of a large
// file are most of what the converter assembles.
void appendNamePart(std::string &out, const Person &person, NamePart part);

// The whole contributor block that one author, editor or translator field
// writes: the outer b:Author, the element `role` (the field's contributor
// role), and a b:NameList with one b:Person per name (no name list when the
// field could not be split).
std::string contributorBlock(std::string_view role, const Field &field);

} // namespace bibsources
