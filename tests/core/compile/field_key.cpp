// Compiled, never linked, by the FieldKey tests: a name the field table holds
// must compile and any other must not.
#include "field_table.h"

constexpr bibsources::FieldKey key(FIELD_NAME);
static_assert(key.name() == FIELD_NAME);
