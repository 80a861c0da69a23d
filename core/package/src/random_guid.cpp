#include "random_guid.h"

#include <uuid/uuid.h>

namespace bibsources {

std::string randomGuid()
{
    uuid_t value;
    uuid_generate_random(value);
    char text[37];
    uuid_unparse_upper(value, text);
    return "{" + std::string(text) + "}";
}

} // namespace bibsources
