#include "cli_options.h"

namespace bibsources::cli {

Options parseArguments(const std::vector<std::string> &arguments)
{
    Options options;
    auto fail = [&](std::string message) {
        if (options.usageError.empty()) {
            options.usageError = std::move(message);
        }
    };
    bool outputSeen = false;
    auto setOutput = [&](const std::string &value) {
        if (outputSeen) {
            fail("-o given twice; all inputs go into one output");
        }
        outputSeen = true;
        options.output = value;
    };

    bool onlyInputsFollow = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        if (onlyInputsFollow || argument == "-" || argument.empty() || argument[0] != '-') {
            options.inputs.push_back(argument);
        } else if (argument == "--") {
            onlyInputsFollow = true;
        } else if (argument == "-h" || argument == "--help") {
            options.help = true;
        } else if (argument == "-V" || argument == "--version") {
            options.version = true;
        } else if (argument == "-q" || argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "-t" || argument == "--tidy") {
            options.tidy = true;
        } else if (argument == "--merge") {
            options.merge = true;
        } else if (argument == "-o" || argument == "--output") {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                fail(argument + " needs a value: the file to write, or - for standard output");
            } else {
                setOutput(arguments[++i]);
            }
        } else if (argument.rfind("--output=", 0) == 0) {
            setOutput(argument.substr(9));
            if (options.output.empty()) {
                fail("--output needs a value: the file to write, or - for standard output");
            }
        } else if (argument.rfind("-o", 0) == 0) {
            setOutput(argument.substr(2));
        } else {
            fail("unknown option '" + argument + "'");
        }
    }
    if (options.help || options.version) {
        return options;
    }
    if (options.inputs.empty()) {
        fail("no input file given");
    }
    if (options.merge && (options.output.empty() || options.output == "-")) {
        fail("--merge needs -o LIST: the source list file to merge into");
    }
    return options;
}

} // namespace bibsources::cli
