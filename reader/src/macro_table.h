#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace bibsources::reader {

// The macros of one input: the twelve month abbreviations, standing until
// the input defines its own, and every @string definition read so far.
class MacroTable {
public:
    MacroTable();

    // The text of a macro, by its name in any case; nullopt when undefined.
    std::optional<std::string_view> find(const std::string &lowercaseName) const;
    // Defines a macro; true when it replaced one the input itself had defined.
    bool define(const std::string &lowercaseName, std::string text);

private:
    std::map<std::string, std::string, std::less<>> texts;
    std::set<std::string, std::less<>> standingMonths;
};

} // namespace bibsources::reader
