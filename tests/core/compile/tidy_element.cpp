// Compiled, never linked, by the tidy element tests: an element the field
// table carries that way must compile and any other must not.
#include "field_table.h"

[[maybe_unused]] constexpr bibsources::ELEMENT_KIND element(ELEMENT_NAME);
