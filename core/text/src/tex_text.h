#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// The plain Unicode text a reader sees when TeX typesets a field value.
//
// `utf8` is one field's value after macro expansion: valid UTF-8, not yet
// escaped for XML. The result is valid UTF-8, not escaped either. Every letter
// an accent command makes is in NFC; text outside the commands below is kept
// byte for byte (text without \ { } $ ~ - `` '' comes back unchanged).
// Meant for text fields: in a url, doi or eprint field "~" and "--" are
// literal and must not go through here.
//
// Understood, wherever they stand and nested in each other:
// - accent commands (\' \` \^ \" \~ \= \. \u \v \H \c \k \r \d \b \t) on any
//   letter or digit, in every spelling (\'e, \'{e}, {\'e}, \v s, {\"{\i}},
//   \t{oo}), written as the letter and its combining mark and then composed
//   (NFC); on an empty group, the accent itself ("\~{}" is "~");
// - the special letters \i \j \o \O \l \L \ss \SS \ae \AE \oe \OE \aa \AA
//   \dh \DH \th \TH \ng \NG, and the escaped specials \& \% \$ \# \_ \{ \};
// - "~" as U+00A0, "--" and "---" as en and em dash, "``" and "''" as
//   typographic double quotes, "`" as an opening single quote and the next
//   "'" as its closing one (any other "'" stays as typed: an apostrophe),
//   "\ " as a space, "\," as a thin space, and "\-" (a hyphenation hint)
//   dropped;
// - font, case and box commands, which keep their content (\emph{x},
//   \textbf{x}, {\em x}, {\bf x}, {\small x}, \mbox{x}, \smash{x}, \llap{x},
//   biblatex's \mkbibemph{x} ...), \url{u} and \url|u| as u, \href{u}{t} as
//   t, \enquote{t} and \mkbibquote{t} as “t”, \mkbibparens{t} as (t),
//   \noopsort{key} (a sort key that prints nothing, by the usual definition)
//   as nothing, and the logos \TeX \LaTeX \LaTeXe \BibTeX \AmSTeX \METAFONT
//   as their names;
// - commands whose arguments are partly no text, which keep only their text:
//   \textcolor{red}{x} is "x", \hspace{1em}, \label{k} and \rule{a}{b} are
//   nothing;
// - the primitives \kern, \hskip, \vskip, \raise, \lower, \penalty with
//   their dimension, glue or number, which print nothing, \hbox to 3em{x}
//   as x, and \accent with a position of TeX's own font as that accent;
// - biblatex's punctuation and dashes as biblatex prints them in English
//   (\adddot ".", \addspace " ", \psq " sq.", \bibrangedash "–", \hyphen
//   "-", ...);
// - braces that only group or protect case, which are removed;
// - inline math ($...$ or \ensuremath{...}) made only of letters, digits,
//   Greek letters, common relations and operators, named functions (set
//   apart by spaces from what stands beside them: "n log n"), and digit
//   super- and subscripts, as Unicode; \textsuperscript{2} and
//   \textsubscript{2} too, and their text plain where Unicode has no raised
//   or lowered letters ("19th").
//
// A command it does not know loses its name when braced arguments with
// text follow it: their text is what it most often prints (\acro{TUG} is
// "TUG"). Without such arguments it is kept as written, with the empty
// groups behind it, and never runs into the letters after it: "{\Dash}an"
// and "\Bib\LaTeX" give "\Dash{}an" and "\Bib{}LaTeX". Math without a
// direct Unicode equivalent stays "$...$"; a brace without a partner, a
// trailing backslash or an accent without anything to go on stays. Groups
// read apart (accents, arguments) nested more than 16 deep stay as
// written. Never throws. Time and memory are linear in the length of
// `utf8`.
std::string texToText(std::string_view utf8);

// The commands a converted text still holds: every control word ("\TUB" in
// "\TUB{} 12"), as written with its backslash, as often as it occurs and in
// order. These are the commands texToText kept because it does not know
// them, whether alone or in math it kept as "$...$". A backslash before
// anything but an ASCII letter starts no command. The views point into `text`.
std::vector<std::string_view> commandsLeftIn(std::string_view text);

} // namespace bibsources
