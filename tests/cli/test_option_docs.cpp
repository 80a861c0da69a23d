// The manual page and the README list the options of the table, each with
// its names together, and no option the table lacks.
#include "cli_options.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <ranges>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

namespace bibsources::testing {
namespace {

using Names = std::set<std::string>; // "-o" and "--output": the names of one option

// The option names in a line of text: words that start with '-' or "--",
// and "--" alone.
Names optionNamesIn(const std::string &text)
{
    static const std::regex optionName(R"((?:^|[\s,(])(--?[A-Za-z][A-Za-z0-9-]*|--)(?=[\s,=)]|$))");
    Names names;
    for (auto match = std::sregex_iterator(text.begin(), text.end(), optionName);
         match != std::sregex_iterator(); ++match) {
        names.insert((*match)[1]);
    }
    return names;
}

std::vector<std::string> linesOf(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A roff line as it reads: without font changes and quotes, "\-" as "-".
std::string roffText(std::string line)
{
    line = std::regex_replace(line, std::regex(R"(\\f[BIRP])"), "");
    line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
    return std::regex_replace(line, std::regex("\""), " ");
}

// The entries of the manual page's OPTIONS section: the tag line after each .TP.
std::vector<Names> manPageEntries(const std::string &page)
{
    std::vector<Names> entries;
    bool inOptions = false;
    bool tagFollows = false;
    for (const std::string &line : linesOf(page)) {
        if (line.starts_with(".SH")) {
            inOptions = line == ".SH OPTIONS";
        } else if (inOptions && line == ".TP") {
            tagFollows = true;
        } else if (tagFollows) {
            entries.push_back(optionNamesIn(roffText(line)));
            tagFollows = false;
        }
    }
    return entries;
}

constexpr const char *readmeHeading = "### Options of bibsources";

// The rows of the README's option table: the first cell of each.
std::vector<Names> readmeEntries(const std::string &readme)
{
    std::vector<Names> entries;
    bool inList = false;
    for (const std::string &line : linesOf(readme)) {
        if (line.starts_with("#")) {
            inList = line == readmeHeading;
        } else if (inList && line.starts_with("| ")) {
            const std::string firstCell = line.substr(2, line.find('|', 1) - 2);
            entries.push_back(optionNamesIn(std::regex_replace(firstCell, std::regex("`"), " ")));
        }
    }
    std::erase_if(entries, [](const Names &names) { return names.empty(); }); // the heading row
    return entries;
}

Names namesOf(const cli::OptionSpec &option)
{
    Names names{std::string(option.longName)};
    if (!option.shortName.empty()) {
        names.insert(std::string(option.shortName));
    }
    return names;
}

// "-o, --output": the short name first, as everywhere.
std::string shown(const Names &names)
{
    std::string text;
    for (const std::string &name : std::views::reverse(names)) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

struct OptionDocument {
    const char *name;
    const char *path;
    std::vector<Names> (*entries)(const std::string &);
};

const OptionDocument optionDocuments[] = {
    {"the manual page's OPTIONS", MAN_PAGE_PATH, manPageEntries},
    {"the README's option list", README_PATH, readmeEntries},
};

TEST(OptionDocs, ListTheOptionsOfTheTableAndNoOthers)
{
    std::vector<Names> tableOptions;
    for (const cli::OptionSpec &option : cli::optionTable()) {
        tableOptions.push_back(namesOf(option));
    }
    for (const OptionDocument &document : optionDocuments) {
        const std::vector<Names> entries = document.entries(readFile(document.path));
        for (const Names &option : tableOptions) {
            if (std::count(entries.begin(), entries.end(), option) != 1) {
                ADD_FAILURE() << document.name << " (" << document.path << ") should describe "
                              << shown(option) << " once, in one entry";
            }
        }
        for (const Names &entry : entries) {
            if (std::find(tableOptions.begin(), tableOptions.end(), entry) == tableOptions.end()) {
                ADD_FAILURE() << document.name << " (" << document.path << ") describes " << shown(entry)
                              << ", which is not one option of the table in cli/cli_options.cpp";
            }
        }
    }
}

// The parsers above, on text of their own: they must see what a reader sees.
TEST(OptionDocs, ReadTagsAndRowsAsWritten)
{
    const std::string page = ".SH SYNOPSIS\n.TP\n.B \\-\\-synopsis\n.SH OPTIONS\n.TP\n"
                             ".BI \"\\-o \" OUTPUT \"\\fR, \\fP\\-\\-output \" OUTPUT\n"
                             "Text naming \\-\\-tidy.\n.TP\n.BR \\-q \", \" \\-\\-quiet\n.TP\n.B \\-\\-\n"
                             ".SH FILES\n.TP\n.B \\-\\-after\n";
    EXPECT_EQ(manPageEntries(page), (std::vector<Names>{{"-o", "--output"}, {"-q", "--quiet"}, {"--"}}));
    const std::string readme
        = "## Other\n| `--before` | x |\n### Options of bibsources\n\n| option | what |\n"
          "|---|---|\n| `-o OUTPUT`, `--output OUTPUT` | with `--merge` |\n"
          "| `--reader=own\\|btparse` | which |\n| `--` | the rest |\n## Next\n| `--after` | |\n";
    EXPECT_EQ(readmeEntries(readme), (std::vector<Names>{{"-o", "--output"}, {"--reader"}, {"--"}}));
}

} // namespace
} // namespace bibsources::testing
