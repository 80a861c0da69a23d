#include "tidy_guid.h"

#include <boost/uuid/name_generator_sha1.hpp>
#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid.hpp>

namespace bibsources {

namespace {

// The UUID's bytes as the usual 8-4-4-4-12 groups of upper-case hex digits.
std::string uuidText(const boost::uuids::uuid &guid)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (size_t i = 0; i < guid.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text += '-';
        }
        text += digits[guid.data[i] >> 4];
        text += digits[guid.data[i] & 0x0F];
    }
    return text;
}

} // namespace

std::string sourceGuid(std::string_view inputPath, std::string_view citationKey)
{
    const boost::uuids::uuid space = boost::uuids::string_generator()(guid_parts::nameSpace);
    const std::string name = guid_parts::name(inputPath, citationKey);
    return "{" + uuidText(boost::uuids::name_generator_sha1(space)(name.data(), name.size())) + "}";
}

} // namespace bibsources
