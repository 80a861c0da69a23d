#include "option_help.h"

#include <string_view>

namespace bibsources::cli {

namespace {

constexpr std::size_t namesIndent = 2;
constexpr std::size_t helpColumn = 23;
constexpr std::size_t lineWidth = 80;

// "-o, --output OUTPUT", "--merge"
std::string namesOf(const OptionSpec &option)
{
    std::string names;
    if (!option.shortName.empty()) {
        names = std::string(option.shortName) + ", ";
    }
    names += option.longName;
    if (!option.valueName.empty()) {
        names += ' ' + std::string(option.valueName);
    }
    return names;
}

// The text in lines of at most `width` characters (a longer word stands
// alone); a '\n' in it starts a new line.
std::vector<std::string> wrapped(std::string_view text, std::size_t width)
{
    std::vector<std::string> lines(1);
    while (!text.empty()) {
        if (text.front() == '\n' || text.front() == ' ') {
            if (text.front() == '\n') {
                lines.emplace_back();
            }
            text.remove_prefix(1);
            continue;
        }
        const std::string_view word = text.substr(0, text.find_first_of(" \n"));
        text.remove_prefix(word.size());
        std::string &line = lines.back();
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.emplace_back(word);
        } else {
            line += (line.empty() ? "" : " ") + std::string(word);
        }
    }
    return lines;
}

std::string entryFor(const OptionSpec &option)
{
    std::string entry = std::string(namesIndent, ' ') + namesOf(option);
    // Names that reach the help's column put it on the next line.
    if (entry.size() + 2 > helpColumn) {
        entry += '\n';
        entry.append(helpColumn, ' ');
    } else {
        entry.append(helpColumn - entry.size(), ' ');
    }
    const std::vector<std::string> lines = wrapped(option.help, lineWidth - helpColumn);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            entry += '\n' + std::string(helpColumn, ' ');
        }
        entry += lines[i];
    }
    return entry + '\n';
}

} // namespace

std::string optionHelp(std::span<const OptionSpec> table)
{
    std::string help = "options:\n";
    for (const OptionSpec &option : table) {
        help += entryFor(option);
    }
    return help;
}

} // namespace bibsources::cli
