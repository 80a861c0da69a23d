#include "helper_command.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace bibsources {

namespace {

bool parseNumber(const std::string &text, std::uint64_t &value)
{
    char *end = nullptr;
    errno = 0;
    value = std::strtoull(text.c_str(), &end, 10);
    return !text.empty() && *end == '\0' && errno == 0 && text[0] != '-';
}

// Field names are BibTeX identifiers, which never hold a comma.
std::string joined(const std::vector<std::string> &names)
{
    std::string text;
    for (const std::string &name : names) {
        text += (text.empty() ? "" : ",") + name;
    }
    return text;
}

std::vector<std::string> split(const std::string &text)
{
    std::vector<std::string> names;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

bool contains(const std::vector<std::string> &names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

bool FieldSelection::keeps(std::string_view fieldName) const
{
    return contains(kept, fieldName);
}

bool FieldSelection::splitsNames(std::string_view fieldName) const
{
    return contains(names, fieldName);
}

std::vector<std::string> helperArguments(const HelperCommand &command)
{
    if (!command.selftest.empty()) {
        return {"--sandbox-selftest", command.selftest};
    }
    std::vector<std::string> arguments{"--name", command.name};
    arguments.insert(
        arguments.end(), {"--fields", joined(command.fields.kept), "--names", joined(command.fields.names)});
    arguments.insert(
        arguments.end(), {"--start", std::to_string(command.startOffset), std::to_string(command.startLine)});
    arguments.insert(arguments.end(), {"--memory", std::to_string(command.memoryLimit)});
    if (command.fields.namesOfTheRest) {
        arguments.emplace_back("--other-names");
    }
    if (command.careful) {
        arguments.emplace_back("--careful");
    }
    if (command.macros) {
        arguments.emplace_back("--macros");
    }
    if (!command.storeMacros) {
        arguments.emplace_back("--no-new-macros");
    }
    if (command.parent != 0) {
        arguments.insert(arguments.end(), {"--parent", std::to_string(command.parent)});
    }
    return arguments;
}

ParsedHelperCommand parseHelperArguments(const std::vector<std::string> &arguments)
{
    ParsedHelperCommand parsed;
    HelperCommand &command = parsed.command;
    bool named = false;
    for (std::size_t i = 0; i < arguments.size() && parsed.error.empty(); ++i) {
        const std::string &argument = arguments[i];
        const std::size_t left = arguments.size() - i - 1;
        if (argument == "--name" && left >= 1) {
            command.name = arguments[++i];
            named = true;
        } else if (argument == "--fields" && left >= 1) {
            command.fields.kept = split(arguments[++i]);
        } else if (argument == "--names" && left >= 1) {
            command.fields.names = split(arguments[++i]);
        } else if (argument == "--other-names") {
            command.fields.namesOfTheRest = true;
        } else if (argument == "--start" && left >= 2) {
            if (!parseNumber(arguments[i + 1], command.startOffset)
                || !parseNumber(arguments[i + 2], command.startLine) || command.startLine == 0) {
                parsed.error = "bad --start";
            }
            i += 2;
        } else if (argument == "--memory" && left >= 1) {
            if (!parseNumber(arguments[++i], command.memoryLimit)) {
                parsed.error = "bad --memory";
            }
        } else if (argument == "--parent" && left >= 1) {
            if (!parseNumber(arguments[++i], command.parent)) {
                parsed.error = "bad --parent";
            }
        } else if (argument == "--careful") {
            command.careful = true;
        } else if (argument == "--macros") {
            command.macros = true;
        } else if (argument == "--no-new-macros") {
            command.storeMacros = false;
        } else if (argument == "--sandbox-selftest" && left >= 1) {
            command.selftest = arguments[++i];
        } else {
            parsed.error = "unexpected argument '" + argument + "'";
        }
    }
    if (parsed.error.empty() && !named && command.selftest.empty()) {
        parsed.error = "--name is required";
    }
    return parsed;
}

} // namespace bibsources
