#include "tidy_guid.h"

#include <uuid/uuid.h>

namespace bibsources {

std::string sourceGuid(std::string_view inputPath, std::string_view citationKey)
{
    uuid_t space;
    uuid_parse(guid_parts::nameSpace, space);
    const std::string name = guid_parts::name(inputPath, citationKey);
    uuid_t guid;
    uuid_generate_sha1(guid, space, name.data(), name.size());
    char text[37];
    uuid_unparse_upper(guid, text);
    return "{" + std::string(text) + "}";
}

} // namespace bibsources
