#include "member_names.h"

#include <cstdio>
#include <string_view>
#include <unordered_map>

namespace bibsources {

namespace {

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7F;
}

std::string foldedAscii(std::string name)
{
    for (char &c : name) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return name;
}

// A name as a message shows it: control characters as \xNN.
std::string printableName(std::string_view name)
{
    std::string shown;
    for (const char c : name) {
        if (isControl(static_cast<unsigned char>(c))) {
            char escaped[5];
            std::snprintf(
                escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace

std::string memberNamesProblem(const std::vector<std::string> &names)
{
    std::unordered_map<std::string, const std::string *> seen; // by the name folded
    for (const std::string &name : names) {
        if (name.find('\0') != std::string::npos) {
            return "the name of its member '" + printableName(name)
                + "' holds a NUL, which would not stay as it is stored";
        }
        const auto [earlier, added] = seen.emplace(foldedAscii(name), &name);
        if (added) {
            continue;
        }
        return *earlier->second == name ? "it has two members named '" + printableName(name) + "'"
                                        : "it has two members named '" + printableName(*earlier->second)
                + "' and '" + printableName(name) + "', which the package format counts as one name";
    }
    return {};
}

} // namespace bibsources
