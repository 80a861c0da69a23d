#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// A value BibTeX reads back as the text given (UTF-8 kept as it is): the
// characters TeX treats specially are written as commands, so that every
// brace in the value is one the value itself opens and closes:
//   \ -> \textbackslash{}   { -> \textbraceleft{}   } -> \textbraceright{}
//   # $ % & _ -> \# \$ \% \& \_   ~ -> \textasciitilde{}   ^ -> \textasciicircum{}
// En and em dashes become -- and ---; a space after a space is "\ ", so
// that BibTeX keeps it.
std::string bibValue(std::string_view text);

// bibValue, with every word that holds a capital a style could lower-case
// wrapped in braces: all but the first word, and that one too when a
// capital follows its first letter ("{iPhone}", "{DNA}").
std::string bibTitle(std::string_view text);

// A value taken verbatim (url, doi): only braces, which would unbalance the
// entry, are percent-encoded.
std::string bibVerbatim(std::string_view text);

// A value kept for a reader other than BibTeX (the ms- fields): as it is
// when its braces balance, else as bibValue writes it.
std::string bibKept(std::string_view text);

// A key BibTeX and LaTeX's \cite accept: white space, control characters, backslashes and , { } ( ) " # %
// become "_"; an empty tag becomes "source".
std::string bibKey(std::string_view tag);

// What BibTeX readers compare keys by: two keys they take for one entry give
// the same text. BibTeX ignores the case of ASCII letters, other readers that
// of every letter, so every letter's case is folded.
std::string keyIdentity(std::string_view key);

} // namespace bibsources
