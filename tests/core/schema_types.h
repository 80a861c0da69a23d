#pragma once

#include "test_support.h"

#include <regex>
#include <set>
#include <string>

namespace bibsources::testing {

// The source types the schema allows: its ST_SourceType enumeration.
inline std::set<std::string> schemaSourceTypes()
{
    const std::string schema = readFile(BIBSOURCES_TEST_SCHEMA);
    const auto start = schema.find("<xsd:simpleType name=\"ST_SourceType\">");
    if (start == std::string::npos) {
        return {};
    }
    const std::string type = schema.substr(start, schema.find("</xsd:simpleType>", start) - start);
    const std::regex value("<xsd:enumeration value=\"([^\"]+)\"/>");
    std::set<std::string> types;
    for (std::sregex_iterator it(type.begin(), type.end(), value), end; it != end; ++it) {
        types.insert((*it)[1]);
    }
    return types;
}

} // namespace bibsources::testing
