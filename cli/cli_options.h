#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bibsources::cli {

struct Options {
    std::vector<std::string> inputs;
    std::string output; // empty: Sources.xml beside each input; "-": standard output
    bool merge = false; // into an existing OUTPUT (--merge, only with -o and a file)
    bool quiet = false;
    bool tidy = false; // the mapping for word processors instead of the plain one
    std::string report; // with tidy: where every field went, as a table (--report FILE)
    bool toBib = false; // --to-bib: source lists and documents back to one .bib
    std::vector<std::string> macroFiles; // --macros FILE, in order (only with --tidy)
    // --reader: "own" (our own BibTeX reader, in this process) or "btparse";
    // empty: not given, which reads with btparse.
    std::string reader;
    bool help = false;
    bool version = false;
    std::string usageError; // set when the command line cannot be used as given
};

// "--": every argument after it is an input.
struct EndOfOptions { };

// Where an option goes: a switch sets a bool; an option with a value sets a
// string (it may be given once) or adds to a list (each time it is given).
using OptionTarget = std::variant<bool Options::*, std::string Options::*,
    std::vector<std::string> Options::*, EndOfOptions>;

// One option of the command line. The table of these is the only place an
// option is described: the parser, --help, and the test that the manual page
// and the README list the same options all read it.
struct OptionSpec {
    std::string_view shortName = {}; // "-o", or empty; an attached value ("-oFILE") is taken too
    std::string_view longName = {}; // "--output"; "--output=FILE" is taken too
    std::string_view valueName = {}; // "FILE"; empty for a switch. Choices separated by '|'
                                     // ("own|btparse") accept only those words.
    OptionTarget target = EndOfOptions{};
    std::string_view help = {}; // for --help, wrapped there; '\n' starts a new line
    std::string_view valueWanted = {}; // what the value is, told when it is missing
};

// Every option, in the order --help lists them.
std::span<const OptionSpec> optionTable();

// Reads the command line (without the program name). Options may stand
// anywhere before "--"; everything after "--" is an input, so a file called
// "-q.bib" can be converted.
Options parseArguments(const std::vector<std::string> &arguments);

} // namespace bibsources::cli
