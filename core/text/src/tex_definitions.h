#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// One command a file defines: its parameters, #1 to #9, and the text it
// stands for.
struct TexDefinition {
    int parameters = 0;
    // \newcommand{\cmd}[2][default]{...}: the first parameter is optional,
    // given in brackets, and this is its text when it is left out.
    std::optional<std::string> optionalDefault;
    // \def\cmd#1\stop{...}: the text that ends each parameter's argument,
    // empty for one read as TeX reads an undelimited argument.
    std::vector<std::string> delimiters;
    std::string body;
};

// The commands an input defines, in its @preamble or in a file of
// definitions (--macros), by name without the backslash.
class TexDefinitions {
public:
    // Reads every definition in `latex`, a LaTeX text in UTF-8: \def, \gdef,
    // \edef and \xdef (all as \def) with parameters, each undelimited or
    // ended by the text after it (#1\stop); \newcommand,
    // \renewcommand, \providecommand and \DeclareRobustCommand, starred or
    // not, with [n] parameters and an optional first one's [default]; and
    // \let of a command defined here. Definitions inside \ifx\undefined\cmd,
    // \ifx\cmd\undefined, \ifdefined\cmd, \ifcsname ...\endcsname and
    // \@ifundefined{cmd} count only where the condition holds. Everything
    // else (\input, \usepackage, text) is passed over.
    //
    // A command the converter already knows (\emph, \url, \TeX, \'...) keeps
    // its meaning: a file's definition of it only says how to typeset it. A
    // later definition replaces an earlier one, except with \newcommand and
    // \providecommand, as in LaTeX. Returns one line per definition that
    // could not be read ("\foo: its body never closes") and per file the text
    // \input's, whose definitions are not read; each line is valid UTF-8
    // when `latex` is. Never throws.
    std::vector<std::string> read(std::string_view latex);

    const TexDefinition *find(std::string_view name) const;
    bool empty() const { return definitions.empty(); }

private:
    std::map<std::string, TexDefinition, std::less<>> definitions;
};

struct Expansion {
    std::string text;
    std::string problem; // empty, or why the text was left as written
};

// `utf8` with every command of `definitions` replaced by its body, its
// arguments put in for #1...#9, and the result read again for commands
// defined in it, as TeX expands them. Arguments are read as TeX reads
// undelimited ones: a braced group, a command or one character, blanks
// before each skipped; a command missing an argument stays as written.
// Where an expanded command would run into letters that follow it, a space
// is put between them. A character is never cut: when `utf8` and the
// definitions are valid UTF-8, so are the text and the problem.
//
// Expansion nested deeper than 32, making more than 64 KiB of text (or 16
// times the input, when that is more) or taking more than 100,000 steps
// leaves the text as written, with the problem named ("\loop expands
// without end"). Never throws.
Expansion expandDefinitions(std::string_view utf8, const TexDefinitions &definitions);

} // namespace bibsources
