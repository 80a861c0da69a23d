#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bibsources {

// The TeX command names texToText understands, each looked up by its name
// without the backslash ("'" for \', "ss" for \ss). Lookups are exact and
// case-sensitive, as TeX's are.

// The combining marks an accent command puts on its argument, in order:
// U+0301 for \', U+030C for \v, U+0361 (placed after the first of two
// letters) for \t, U+0304 and U+0301 for tipa's \textacutemacron, ...
// Empty when `name` is no accent command.
std::u32string_view accentMarks(std::string_view name);

// What an accent command prints on an empty group, as in "\~{}": the accent
// as a character of its own ("~" for \~, "´" for \'). Empty when `name` is
// no accent command.
std::string_view spacingAccent(std::string_view name);

// The text of a command that stands for fixed text in running text: special
// letters (\ss is "ß", \i is "ı"), logos (\LaTeX is "LaTeX") and symbols
// (\ldots is "…", \S is "§"). Empty when `name` is none of them.
std::string_view textCommand(std::string_view name);

// The letter an accent goes on when its argument is this command: \i and \j
// give "i" and "j" (the accent replaces the dot), every other special letter
// gives itself. Empty when `name` is no letter.
std::string_view accentBase(std::string_view name);

// Whether `name` only changes the font, size or case of what it applies to
// (\emph, \textbf, \mbox, \em, \bf, \small, ...), so that dropping it keeps
// the text.
bool isFontCommand(std::string_view name);

// Whether `name` takes a link as its argument, which is text to keep
// verbatim (\url, \path, \nolinkurl, \doi).
bool isLinkCommand(std::string_view name);

// A command whose braced arguments are not all text (\textcolor{red}{x},
// \hspace{1em}): how many it passes over before the one it prints, whether
// it prints one, and how many it passes over after it.
struct ArgumentShape {
    int droppedBefore = 0;
    bool printsText = false;
    int droppedAfter = 0;
};
std::optional<ArgumentShape> argumentShape(std::string_view name);

// TeX primitives that are followed by what is no braced argument: a
// dimension (\kern-.1em, \raise.5ex), glue (\hskip 0pt plus 1fil), a number
// (\penalty-100, \accent"7F) or a box's "to 3em" (\hbox to 3em{...}).
enum class Primitive : unsigned char { Dimension, Glue, Number, Accent, Box };
std::optional<Primitive> primitive(std::string_view name);

// The name of the accent command at this position of TeX's own font
// encoding, for \accent: "\"" for 127. Empty for any other position.
std::string_view numberedAccent(int position);

// Whether texToText gives `name` a meaning of its own, in any of the tables
// above or by its own reading (\href, \ensuremath, \noopsort, ...): a
// file's definition of such a command does not replace it.
bool isKnownCommand(std::string_view name);

// The Unicode text of a math-mode command with a direct equivalent: Greek
// letters (\alpha is "α", \Omega is "Ω"), relations (\leq is "≤"), operators
// (\times is "×"), arrows and a few symbols (\infty is "∞"), and named
// functions (\sin is "sin"). Empty when there is none.
std::string_view mathCommand(std::string_view name);

// `c` raised or lowered as one character: digits and + - = ( ) both ways,
// and "n" and "i" raised. Empty when Unicode has no such character.
std::string_view superscript(char c);
std::string_view subscript(char c);

} // namespace bibsources
