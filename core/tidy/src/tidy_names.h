#pragma once

#include "entry.h"
#include "field_account.h"

#include <string>
#include <vector>

namespace bibsources {

// The contributors of one tidy record, from the author, editor and translator
// fields among `fields`: one outer b:Author holding a b:Author, b:Editor and
// b:Translator element per role present, in the order each role first
// appears. A role given twice (two author fields) is read from its first
// field, as BibTeX reads it. Empty when no field names anyone. `account`,
// when given, hears which role element each field went to.
//
// A person is b:Last (the von part in front: "van der Berg", then the Jr
// part: "Smith Jr."), b:First (the first given name) and b:Middle (the other
// given names). An author list that is one braced group ("{World Health
// Organization}") is b:Corporate; elsewhere such a name is a person with only
// b:Last, since the format allows b:Corporate for authors alone. "others"
// writes no person. All text is plain text, escaped.
std::string tidyContributors(const std::vector<Field> &fields, FieldAccount *account = nullptr);

// The plain last name (with its von part) of the first person of the first
// contributor field that names one, or empty.
std::string firstContributorName(const std::vector<Field> &fields);

} // namespace bibsources
