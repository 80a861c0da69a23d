#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// The plain Unicode text a reader sees when TeX typesets a field value.
//
// `utf8` is one field's value after macro expansion: valid UTF-8, not yet
// escaped for XML. The result is valid UTF-8, not escaped either. Every letter
// an accent command makes is in NFC; text outside the commands below is kept
// byte for byte (text without \ { } $ ~ - `` '' comes back unchanged).
//
// Understood, wherever they stand and however deeply nested:
// - accent commands (\' \` \^ \" \~ \= \. \u \v \H \c \k \r \d \b \t) on any
//   letter, in every spelling (\'e, \'{e}, {\'e}, \v s, {\"{\i}}, \t{oo}),
//   written as the letter and its combining mark and then composed (NFC);
// - the special letters \i \j \o \O \l \L \ss \SS \ae \AE \oe \OE \aa \AA
//   \dh \DH \th \TH \ng \NG, and the escaped specials \& \% \$ \# \_ \{ \};
// - "~" as U+00A0, "--" and "---" as en and em dash, "``" and "''" as
//   typographic double quotes, "\ " as a space, "\," as a thin space, and
//   "\-" (a hyphenation hint) dropped;
// - font and case commands, which keep their content (\emph{x}, \textbf{x},
//   {\em x}, {\bf x}, {\small x}, ...), \url{u} as u, \href{u}{t} as t, and
//   the logos \TeX \LaTeX \LaTeXe \BibTeX \AmSTeX \METAFONT as their names;
// - braces that only group or protect case, which are removed;
// - inline math ($...$) made only of letters, digits, Greek letters, common
//   relations and operators, and digit super- and subscripts, as Unicode.
//
// Anything else is kept as written, never dropped: an unknown \foo{x} stays
// "\foo{x}", math without a direct Unicode equivalent stays "$...$", and
// unbalanced braces or a trailing backslash lose no text. Never throws on any
// input. Time and memory are linear in the length of `utf8`.
std::string texToText(std::string_view utf8);

} // namespace bibsources
