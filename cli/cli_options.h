#pragma once

#include <string>
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
    bool help = false;
    bool version = false;
    std::string usageError; // set when the command line cannot be used as given
};

// Reads the command line (without the program name). Options may stand
// anywhere before "--"; everything after "--" is an input, so a file called
// "-q.bib" can be converted.
Options parseArguments(const std::vector<std::string> &arguments);

} // namespace bibsources::cli
