// Reading the command line by a table of options: every kind of row, every
// way of giving a value, and the table itself.
#include "cli_options.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace bibsources::testing {
namespace {

using cli::Options;

// One row of each kind the program's table has, and one of choices.
constexpr cli::OptionSpec rowsOfEachKind[] = {
    {.shortName = "-o",
        .longName = "--output",
        .valueName = "OUTPUT",
        .target = &Options::output,
        .valueWanted = "the file to write"},
    {.longName = "--colour", .valueName = "red|green|blue", .target = &Options::report},
    {.longName = "--macros",
        .valueName = "FILE",
        .target = &Options::macroFiles,
        .valueWanted = "a LaTeX file"},
    {.shortName = "-q", .longName = "--quiet", .target = &Options::quiet},
    {.longName = "--", .target = cli::EndOfOptions{}},
};

std::string joined(const std::vector<std::string> &words)
{
    std::string text;
    for (const std::string &word : words) {
        text += (text.empty() ? "" : ",") + word;
    }
    return text;
}

// What was read, in one line: only what differs from the defaults.
std::string described(const Options &options)
{
    std::string text;
    const auto add = [&text](const std::string &part) { text += (text.empty() ? "" : " ") + part; };
    if (!options.output.empty()) {
        add("output=" + options.output);
    }
    if (!options.report.empty()) {
        add("colour=" + options.report);
    }
    if (!options.macroFiles.empty()) {
        add("macros=" + joined(options.macroFiles));
    }
    if (options.quiet) {
        add("quiet");
    }
    if (!options.inputs.empty()) {
        add("inputs=" + joined(options.inputs));
    }
    if (!options.usageError.empty()) {
        add("error: " + options.usageError);
    }
    return text;
}

struct ReadingRow {
    std::vector<std::string> arguments;
    std::string read;
};

const ReadingRow readingRows[] = {
    {{"-o", "x.xml", "a.bib"}, "output=x.xml inputs=a.bib"},
    {{"-ox.xml", "a.bib"}, "output=x.xml inputs=a.bib"},
    {{"--output=x.xml", "a.bib"}, "output=x.xml inputs=a.bib"},
    {{"--output", "x.xml", "a.bib"}, "output=x.xml inputs=a.bib"},
    {{"-o", "-q", "a.bib"}, "output=-q inputs=a.bib"},
    {{"a.bib", "-o"}, "inputs=a.bib error: -o needs a value: the file to write"},
    {{"--output=", "a.bib"}, "inputs=a.bib error: --output needs a value: the file to write"},
    {{"-o", "", "a.bib"}, "inputs=a.bib error: -o needs a value: the file to write"},
    {{"-o", "x", "--output", "y"}, "output=x error: --output given twice; it takes one value"},
    {{"--colour", "green"}, "colour=green"},
    {{"--colour=blue"}, "colour=blue"},
    {{"--colour", "purple"}, "error: --colour takes red, green or blue, not 'purple'"},
    {{"--colour=gre"}, "error: --colour takes red, green or blue, not 'gre'"},
    {{"--macros", "a.tex", "--macros=b.tex"}, "macros=a.tex,b.tex"},
    {{"--macros="}, "error: --macros needs a value: a LaTeX file"},
    {{"-q", "-", "a.bib"}, "quiet inputs=-,a.bib"},
    {{"--", "-q", "-o"}, "inputs=-q,-o"},
    {{"--quiet=yes"}, "error: unknown option '--quiet=yes'"},
    {{"-qo", "x"}, "inputs=x error: unknown option '-qo'"},
    {{"--frobnicate", "--also"}, "error: unknown option '--frobnicate'"},
};

TEST(OptionReading, TakesEachKindOfRowAsItsTableSays)
{
    for (const ReadingRow &row : readingRows) {
        EXPECT_EQ(described(cli::readOptions(rowsOfEachKind, row.arguments)), row.read)
            << "arguments: " << joined(row.arguments);
    }
}

// A row added to the program's table must be whole: names that start as
// options do and no other row has, and, for a value, what to say when it is
// missing (choices say it themselves).
TEST(OptionReading, EveryRowOfTheProgramsTableIsWhole)
{
    std::set<std::string_view> names;
    for (const cli::OptionSpec &option : cli::optionTable()) {
        EXPECT_TRUE(option.longName.starts_with("--")) << option.longName;
        EXPECT_TRUE(names.insert(option.longName).second) << option.longName << " is in two rows";
        if (!option.shortName.empty()) {
            EXPECT_TRUE(option.shortName.size() == 2 && option.shortName[0] == '-') << option.shortName;
            EXPECT_TRUE(names.insert(option.shortName).second) << option.shortName << " is in two rows";
        }
        EXPECT_FALSE(option.help.empty()) << option.longName << " has no help";
        const bool isSwitch = std::holds_alternative<bool Options::*>(option.target)
            || std::holds_alternative<cli::EndOfOptions>(option.target);
        EXPECT_EQ(option.valueName.empty(), isSwitch) << option.longName << ": a value name is for a value";
        if (!isSwitch && option.valueName.find('|') == std::string_view::npos) {
            EXPECT_FALSE(option.valueWanted.empty()) << option.longName << " does not say what its value is";
        }
    }
}

} // namespace
} // namespace bibsources::testing
