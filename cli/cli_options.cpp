#include "cli_options.h"

#include <string_view>

namespace bibsources::cli {

namespace {

// The options that only switch something on.
struct Flag {
    std::string_view shortName; // empty: none
    std::string_view longName;
    bool Options::*member;
};

constexpr Flag flags[] = {
    {"-h", "--help", &Options::help},
    {"-V", "--version", &Options::version},
    {"-q", "--quiet", &Options::quiet},
    {"-t", "--tidy", &Options::tidy},
    {"", "--merge", &Options::merge},
    {"", "--to-bib", &Options::toBib},
};

const Flag *flagNamed(std::string_view argument)
{
    for (const Flag &flag : flags) {
        if (argument == flag.longName || (!flag.shortName.empty() && argument == flag.shortName)) {
            return &flag;
        }
    }
    return nullptr;
}

constexpr const char *outputValueMissing = " needs a value: the file to write, or - for standard output";

// Reads the arguments one by one; the first problem found is the one told.
class ArgumentReader {
public:
    explicit ArgumentReader(const std::vector<std::string> &arguments)
        : arguments(arguments)
    {
    }

    Options read()
    {
        for (next = 0; next < arguments.size(); ++next) {
            take(arguments[next]);
        }
        return options;
    }

    void fail(std::string message)
    {
        if (options.usageError.empty()) {
            options.usageError = std::move(message);
        }
    }

    Options options;

private:
    void take(const std::string &argument)
    {
        if (onlyInputsFollow || argument == "-" || argument.empty() || argument[0] != '-') {
            options.inputs.push_back(argument);
        } else if (argument == "--") {
            onlyInputsFollow = true;
        } else if (const Flag *flag = flagNamed(argument)) {
            options.*(flag->member) = true;
        } else if (argument == "-o" || argument == "--output") {
            if (next + 1 >= arguments.size() || arguments[next + 1].empty()) {
                fail(argument + outputValueMissing);
            } else {
                setOutput(arguments[++next]);
            }
        } else if (argument.starts_with("--output=")) {
            setOutput(argument.substr(9));
            if (options.output.empty()) {
                fail(std::string("--output") + outputValueMissing);
            }
        } else if (argument == "--report") {
            if (next + 1 >= arguments.size() || arguments[next + 1].empty()) {
                fail("--report needs a value: the file to write the table of fields to");
            } else {
                options.report = arguments[++next];
            }
        } else if (argument.starts_with("--report=")) {
            options.report = argument.substr(9);
            if (options.report.empty()) {
                fail("--report needs a value: the file to write the table of fields to");
            }
        } else if (argument == "--macros") {
            if (next + 1 >= arguments.size() || arguments[next + 1].empty()) {
                fail("--macros needs a value: a LaTeX file of command definitions");
            } else {
                options.macroFiles.push_back(arguments[++next]);
            }
        } else if (argument.starts_with("--macros=") && argument.size() > 9) {
            options.macroFiles.push_back(argument.substr(9));
        } else if (argument.starts_with("-o")) {
            setOutput(argument.substr(2));
        } else {
            fail("unknown option '" + argument + "'");
        }
    }

    void setOutput(const std::string &value)
    {
        if (outputSeen) {
            fail("-o given twice; all inputs go into one output");
        }
        outputSeen = true;
        options.output = value;
    }

    const std::vector<std::string> &arguments;
    std::size_t next = 0;
    bool onlyInputsFollow = false;
    bool outputSeen = false;
};

} // namespace

Options parseArguments(const std::vector<std::string> &arguments)
{
    ArgumentReader reader(arguments);
    reader.read();
    Options &options = reader.options;
    if (options.help || options.version) {
        return options;
    }
    if (options.inputs.empty()) {
        reader.fail("no input file given");
    }
    if (!options.report.empty() && !options.tidy) {
        reader.fail("--report needs --tidy: only the tidy mapping tells where each field went");
    }
    if (!options.macroFiles.empty() && !options.tidy) {
        reader.fail("--macros needs --tidy: only the tidy output reads TeX commands");
    }
    if (options.toBib && (options.tidy || options.merge || !options.macroFiles.empty())) {
        reader.fail(
            "--to-bib reads source lists and writes BibTeX; --tidy, --macros and --merge do not apply");
    }
    if (options.toBib) {
        for (const std::string &input : options.inputs) {
            if (input == "-") {
                reader.fail("--to-bib reads source lists and documents from files, not from standard input");
            }
        }
    }
    if (options.merge && options.output.empty()) {
        reader.fail("--merge needs -o LIST: the source list file to merge into");
    }
    return options;
}

} // namespace bibsources::cli
