#include "cli_options.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace bibsources::cli {

namespace {

constexpr OptionSpec optionRows[] = {
    {.shortName = "-o",
        .longName = "--output",
        .valueName = "OUTPUT",
        .target = &Options::output,
        .help = "write one document with the records of every input, in order, to OUTPUT; '-' writes it "
                "to standard output. If any input cannot be converted, OUTPUT is not written at all.",
        .valueWanted = "the file to write, or - for standard output"},
    {.shortName = "-t",
        .longName = "--tidy",
        .target = &Options::tidy,
        .help = "write records as word processors write them: plain Unicode instead of TeX, every entry "
                "type as one of the format's 17 source types, a b:Guid per record, issue, DOI, dates and "
                "crossref resolved; no records for @string or @preamble (see the manual page)"},
    {.longName = "--macros",
        .valueName = "FILE",
        .target = &Options::macroFiles,
        .help = "with --tidy: read the commands FILE defines (\\def, \\newcommand, ...) and expand them in "
                "every input, as the commands an input's @preamble defines are; may be given more than once",
        .valueWanted = "a LaTeX file of command definitions"},
    {.longName = "--report",
        .valueName = "FILE",
        .target = &Options::report,
        .help = "with -t: write a tab-separated table of every field of every entry converted (line, key, "
                "tag, field, element, note): the element its text went to, or, when it went nowhere, why "
                "(\"no place in the format\", \"empty\"); - is standard output",
        .valueWanted = "the file to write the table of fields to"},
    {.longName = "--merge",
        .target = &Options::merge,
        .help = "with -o LIST: when LIST exists, keep its records as they are, replace those that are "
                "converted again (same tag; for a made-up tag, same Guid), and add the new ones at its end "
                "in its own layout. Runs merging into one LIST take turns; a LIST another program saves "
                "meanwhile is merged into as it is then. A LIST that is not a source list is left "
                "untouched.\nAn OUTPUT that is a Word document (.docx, .docm, .dotx, .dotm) keeps "
                "everything but its own source list, which the records replace (or, with --merge, join); "
                "records in a document are always tidy. No document is created."},
    {.longName = "--reader",
        .valueName = "own|btparse",
        .target = &Options::reader,
        .help = "read the .bib inputs with our own BibTeX reader, in this process, or with btparse in its "
                "sandboxed helper (the default). Both give the same documents and messages (but where a "
                "@preamble's body is a quoted string: btparse then loses the entry after it, ours keeps "
                "it): compare them on your own files.",
        .valueWanted = "own (our own reader) or btparse (the default)"},
    {.longName = "--to-bib",
        .target = &Options::toBib,
        .help = "read source lists (.xml) and documents' own lists and write their records as BibTeX "
                "entries to OUT.bib ('-': standard output; without -o: Sources.bib beside the first "
                "input). An input is never replaced. Elements with no BibTeX field are kept as ms-... "
                "fields."},
    {.shortName = "-q",
        .longName = "--quiet",
        .target = &Options::quiet,
        .help = "print only errors, not the summary and parser warnings"},
    {.shortName = "-h", .longName = "--help", .target = &Options::help, .help = "show this help and exit"},
    {.shortName = "-V",
        .longName = "--version",
        .target = &Options::version,
        .help = "show the version and exit"},
    {.longName = "--",
        .target = EndOfOptions{},
        .help = "everything after it is a file, even one starting with '-'"},
};

// An argument that names an option, with the value it carries itself.
struct OptionUse {
    const OptionSpec *option = nullptr;
    std::string name; // as given: "-o" or "--output"
    std::optional<std::string> attachedValue; // "-oFILE", "--output=FILE"
};

bool takesValue(const OptionSpec &option)
{
    return !option.valueName.empty();
}

OptionUse optionNamed(std::span<const OptionSpec> table, const std::string &argument)
{
    for (const OptionSpec &option : table) {
        if (argument == option.longName || (!option.shortName.empty() && argument == option.shortName)) {
            return {&option, argument, std::nullopt};
        }
    }
    for (const OptionSpec &option : table) {
        if (!takesValue(option)) {
            continue;
        }
        const std::string withEquals = std::string(option.longName) + '=';
        if (argument.starts_with(withEquals)) {
            return {&option, std::string(option.longName), argument.substr(withEquals.size())};
        }
        if (!option.shortName.empty() && argument.starts_with(option.shortName)) {
            return {&option, std::string(option.shortName), argument.substr(option.shortName.size())};
        }
    }
    return {};
}

// The words a value of choices ("own|btparse") may be; none for any value.
std::vector<std::string_view> choicesOf(const OptionSpec &option)
{
    std::vector<std::string_view> choices;
    std::string_view rest = option.valueName;
    if (rest.find('|') == std::string_view::npos) {
        return choices;
    }
    for (std::size_t bar; (bar = rest.find('|')) != std::string_view::npos; rest.remove_prefix(bar + 1)) {
        choices.push_back(rest.substr(0, bar));
    }
    choices.push_back(rest);
    return choices;
}

// What is wrong with a value given to an option (empty if nothing).
std::string valueProblem(const OptionUse &use, const std::string &value)
{
    if (value.empty()) {
        return use.name + " needs a value: " + std::string(use.option->valueWanted);
    }
    const std::vector<std::string_view> choices = choicesOf(*use.option);
    if (choices.empty() || std::find(choices.begin(), choices.end(), value) != choices.end()) {
        return {};
    }
    std::string listed;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        listed += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + std::string(choices[i]);
    }
    return use.name + " takes " + listed + ", not '" + value + "'";
}

// Reads the arguments one by one; the first problem found is the one told.
class ArgumentReader {
public:
    ArgumentReader(std::span<const OptionSpec> table, const std::vector<std::string> &arguments)
        : table(table)
        , arguments(arguments)
    {
    }

    Options read()
    {
        for (next = 0; next < arguments.size(); ++next) {
            take(arguments[next]);
        }
        return options;
    }

private:
    void fail(std::string message)
    {
        if (options.usageError.empty()) {
            options.usageError = std::move(message);
        }
    }

    void take(const std::string &argument)
    {
        if (onlyInputsFollow || argument == "-" || argument.empty() || argument[0] != '-') {
            options.inputs.push_back(argument);
            return;
        }
        const OptionUse use = optionNamed(table, argument);
        if (use.option == nullptr) {
            fail("unknown option '" + argument + "'");
            return;
        }
        std::visit([&](auto target) { apply(use, target); }, use.option->target);
    }

    void apply(const OptionUse &, bool Options::*member) { options.*member = true; }

    void apply(const OptionUse &, EndOfOptions) { onlyInputsFollow = true; }

    void apply(const OptionUse &use, std::string Options::*member)
    {
        const std::optional<std::string> value = valueOf(use);
        if (!value) {
            return;
        }
        if (std::find(given.begin(), given.end(), use.option) != given.end()) {
            fail(use.name + " given twice; it takes one value");
            return;
        }
        given.push_back(use.option);
        options.*member = *value;
    }

    void apply(const OptionUse &use, std::vector<std::string> Options::*member)
    {
        if (const std::optional<std::string> value = valueOf(use)) {
            (options.*member).push_back(*value);
        }
    }

    // The option's value, attached or the next argument; none (and the
    // problem told) when it is missing or not one of its choices.
    std::optional<std::string> valueOf(const OptionUse &use)
    {
        std::string value;
        if (use.attachedValue) {
            value = *use.attachedValue;
        } else if (next + 1 < arguments.size()) {
            value = arguments[++next];
        }
        if (std::string problem = valueProblem(use, value); !problem.empty()) {
            fail(std::move(problem));
            return std::nullopt;
        }
        return value;
    }

    std::span<const OptionSpec> table;
    const std::vector<std::string> &arguments;
    Options options;
    std::size_t next = 0;
    bool onlyInputsFollow = false;
    std::vector<const OptionSpec *> given; // the options of one value seen so far
};

} // namespace

std::span<const OptionSpec> optionTable()
{
    return optionRows;
}

Options readOptions(std::span<const OptionSpec> table, const std::vector<std::string> &arguments)
{
    return ArgumentReader(table, arguments).read();
}

Options parseArguments(const std::vector<std::string> &arguments)
{
    Options options = readOptions(optionTable(), arguments);
    const auto fail = [&options](std::string message) {
        if (options.usageError.empty()) {
            options.usageError = std::move(message);
        }
    };
    if (options.help || options.version) {
        return options;
    }
    if (options.inputs.empty()) {
        fail("no input file given");
    }
    if (!options.report.empty() && !options.tidy) {
        fail("--report needs --tidy: only the tidy mapping tells where each field went");
    }
    if (!options.macroFiles.empty() && !options.tidy) {
        fail("--macros needs --tidy: only the tidy output reads TeX commands");
    }
    if (options.toBib
        && (options.tidy || options.merge || !options.macroFiles.empty() || !options.reader.empty())) {
        fail("--to-bib reads source lists and writes BibTeX; --tidy, --macros, --merge and --reader do "
             "not apply");
    }
    if (options.toBib) {
        for (const std::string &input : options.inputs) {
            if (input == "-") {
                fail("--to-bib reads source lists and documents from files, not from standard input");
            }
        }
    }
    if (options.merge && options.output.empty()) {
        fail("--merge needs -o LIST: the source list file to merge into");
    }
    return options;
}

} // namespace bibsources::cli
