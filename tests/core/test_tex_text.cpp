#include "tex_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace bibsources;

namespace {

// One row per TeX construct: the text it prints.
TEST(TexToText, WritesWhatTexPrints)
{
    const std::pair<const char *, const char *> rows[] = {// Every accent command.
        {R"(\'e)", "é"}, {R"(\`a)", "à"}, {R"(\^o)", "ô"}, {R"(\"u)", "ü"}, {R"(\~n)", "ñ"}, {R"(\=a)", "ā"},
        {R"(\.z)", "ż"}, {R"(\u{g})", "ğ"}, {R"(\v s)", "š"}, {R"(\H{o})", "ő"}, {R"(\c{C})", "Ç"},
        {R"(\c s)", "ş"}, // cedilla, not the comma below of ș
        {R"(\k{a})", "ą"}, {R"(\r{a})", "å"}, {R"(\d{s})", "ṣ"}, {R"(\b{t})", "ṯ"},
        {R"(\t{oo})", "o\u0361o"}, // the tie spans both letters: no precomposed form
        {R"(\'y)", "ý"}, {R"(\v{Z})", "Ž"}, {R"(\"{y})", "ÿ"},
        {R"(\'w)", "ẃ"}, // beyond Latin-1 and Latin Extended-A
        {R"(\v{g})", "ǧ"}, {R"(\'x)", "x\u0301"}, // no precomposed letter: the mark stays combining
        // Every spelling of an accent.
        {R"(\'{e})", "é"}, {R"({\'e})", "é"}, {R"({\'{e}})", "é"}, {R"(\' e)", "é"},
        {R"(\'\i)", "í"}, // the accent takes the dot's place
        {R"({\"{\i}})", "ï"}, {R"(\^{\j})", "ĵ"}, {R"(\'{\o})", "ǿ"}, // a special letter under an accent
        {R"(\'{\^e})", "ế"}, // two accents on one letter
        {R"(\c{\'c})", "ḉ"}, // marks put in canonical order before composing
        {R"(\"{\ae}\"{\AE}\"{\oe}\"{\OE}\"{\O}\"{\l}\"{\L}\"{\ss}\"{\aa}\"{\AA}\"{\dh}\"{\DH}\"{\th}\"{\TH}\"{\ng}\"{\NG})",
            "æ\u0308Æ\u0308œ\u0308Œ\u0308Ø\u0308ł\u0308Ł\u0308ß\u0308å\u0308Å\u0308ð\u0308Ð\u0308þ\u0308Þ"
            "\u0308ŋ\u0308Ŋ\u0308"},
        {R"(\'{\TeX})", "T\u0301eX"}, // a logo is no accent base: the mark lands on its first letter
        {R"(\'é)", "é\u0301"}, // a letter written directly
        {R"(Ho\v{r}ej\v{s}\'{\i})", "Hořejší"},
        // Special letters.
        {R"(\i)", "ı"}, {R"(\j)", "ȷ"}, {R"(\o)", "ø"}, {R"(\O)", "Ø"}, {R"(\l)", "ł"}, {R"(\L)", "Ł"},
        {R"(\ss)", "ß"}, {R"(\SS)", "SS"}, {R"(\ae)", "æ"}, {R"(\AE)", "Æ"}, {R"(\oe)", "œ"}, {R"(\OE)", "Œ"},
        {R"(\aa)", "å"}, {R"(\AA)", "Å"}, {R"(\dh)", "ð"}, {R"(\DH)", "Ð"}, {R"(\th)", "þ"}, {R"(\TH)", "Þ"},
        {R"(\ng)", "ŋ"}, {R"(\NG)", "Ŋ"},
        {R"(Stra\ss e)", "Straße"}, // a control word eats the blank behind it, as in TeX
        {R"(S{\o}ren)", "Søren"}, {R"(\L{}\'od\'z)", "Łódź"}, {R"(\oe uvre)", "œuvre"},
        // Escaped special characters.
        {R"(A \& B)", "A & B"}, {R"(50\%)", "50%"}, {R"(\$5)", "$5"}, {R"(\#1)", "#1"}, {R"(a\_b)", "a_b"},
        {R"(\{x\})", "{x}"},
        // Typographic characters.
        {"a~b", "a\u00A0b"}, {"1--9", "1\u20139"}, {"yes---no", "yes\u2014no"},
        {"----", "\u2014-"}, // read as TeX reads it: the longest dash first
        {"a-b", "a-b"}, {"``quoted''", "\u201Cquoted\u201D"},
        {"O'Brien's `x'", "O'Brien's `x'"}, // single quotes stay as written
        {R"(Ver\-fah\-ren)", "Verfahren"}, {R"(\LaTeX\ users)", "LaTeX users"}, {R"(J.\,R.)", "J.\u2009R."},
        {R"(line\\break)", "line break"}, {R"(Dr.\@ Who)", "Dr. Who"}, {R"(\ldots)", "…"},
        {R"(\enquote{Intention})", "\u201CIntention\u201D"},
        {R"({\noopsort{1973b}}1973)", "1973"}, // a sort key prints nothing
        {R"(http://x.org/\~{}me)", "http://x.org/~me"}, // an accent on nothing prints itself
        {R"(\'{})", "´"},
        {R"(\`{}\^{}\"{}\~{}\={}\.{}\u{}\v{}\H{}\c{}\k{}\r{}\d{}\b{}\t{})", "`^¨~¯˙˘ˇ˝¸˛˚.ˍ⁀"},
        // Font commands keep their content.
        {R"(\emph{x})", "x"}, {R"(\textit{x})", "x"}, {R"(\textbf{x})", "x"}, {R"(\textsc{x})", "x"},
        {R"(\textrm{x})", "x"}, {R"(\texttt{x})", "x"}, {R"(\textsf{x})", "x"}, {R"(\textup{x})", "x"},
        {R"(\textsl{x})", "x"}, {R"(\mbox{x})", "x"}, {R"(\text{x})", "x"}, {R"(a {\em b} c)", "a b c"},
        {R"({\bf b})", "b"}, {R"({\it b})", "b"}, {R"({\sc b})", "b"}, {R"({\rm b})", "b"},
        {R"({\tt b})", "b"}, {R"({\sf b})", "b"}, {R"({\sl b})", "b"}, {R"({\small b})", "b"},
        // Links and logos.
        {R"(\url{http://x.org/~a--b})", "http://x.org/~a--b"}, // a link is not typeset text
        {R"(\url{http://x.org/a\_b\%20})", "http://x.org/a_b%20"},
        {R"(\href{http://x.org}{the site})", "the site"},
        {R"(\href{http://x.org}{\emph{the} site})", "the site"},
        {R"(\path|http://x.org/a_b|)", "http://x.org/a_b"}, // a delimiter instead of braces
        {R"(\TeX)", "TeX"}, {R"({\LaTeX})", "LaTeX"}, {R"(\LaTeXe)", "LaTeX2ε"},
        {R"(\BibTeX{} files)", "BibTeX files"}, {R"(\AmSTeX)", "AMS-TeX"}, {R"(\METAFONT)", "METAFONT"},
        // Case-protecting braces go.
        {"The {Roman} Amphitheatre", "The Roman Amphitheatre"}, {"{{DNA}} and {R}{NA}", "DNA and RNA"},
        {"{}", ""},
        // Simple math as Unicode.
        {R"($\alpha$)", "α"}, {R"(10 $\mu$m)", "10 μm"}, {R"($10\,\mu$m)", "10\u2009μm"}, {R"($x^2$)", "x²"},
        {R"($10^{-3}$)", "10⁻³"}, {R"(H$_2$O)", "H₂O"},
        {R"($a \leq b$)", "a≤b"}, // spaces in math are not typeset
        {R"($\Omega \times \pi$)", "Ω×π"}, {R"($-1$)", "\u22121"}, {R"($20^\circ$C)", "20°C"},
        {R"($\mathrm{d}x$)", "dx"}, {R"($\sin x$)", "sinx"}, {R"(\ensuremath{\beta}-sheet)", "β-sheet"},
        {R"(H\textsubscript{2}O, 10\textsuperscript{-6})", "H₂O, 10⁻⁶"},
        {"$^{0123456789}$ $_{0123456789}$ $^n$ $_n$ $^x$",
            "⁰¹²³⁴⁵⁶⁷⁸⁹ ₀₁₂₃₄₅₆₇₈₉ ⁿ $_n$ $^x$"}, // no letter is lowered
        {R"($\phi\varphi$ $\Alpha$ \Emph{x} \tex)",
            R"(ϕφ $\Alpha$ \Emph{x} \tex)"}, // names are case-sensitive
        // Math without a direct equivalent is kept.
        {R"($\frac{a}{b}$)", R"($\frac{a}{b}$)"}, {R"($x_i$)", R"($x_i$)"},
        {R"(19\textsuperscript{th} century)", R"(19\textsuperscript{th} century)"},
        {R"($x^{ab}$)", R"($x^{ab}$)"}, {R"($\alpha$ and $\frac12$)", R"(α and $\frac12$)"},
        // Nested commands.
        {R"({\bf \'{E}cole {\em Normale}})", "École Normale"},
        {R"(\emph{\textbf{Na\"{\i}ve} {T}ypes})", "Naïve Types"},
        {R"({\sc {\"U}ber \TeX}-Satz)", "Über TeX-Satz"}, {R"(\textit{$\alpha$-{H}elix})", "α-Helix"},
        // What it does not understand is kept.
        {R"(\foo{x})", R"(\foo{x})"}, {R"(\vv{x})", R"(\vv{x})"}, {R"(\a{x})", R"(\a{x})"},
        {R"(\foo{x}{y} z)", R"(\foo{x}{y} z)"},
        {R"(\booktitle{Portr{\"a}t})", R"(\booktitle{Porträt})"}, // its arguments are read as text
        {R"(\foo bar)", R"(\foo bar)"}, {R"({\Dash}an)", R"(\Dash{}an)"}, // not \Dashan, another command
        {R"(\'{\foo})", R"(\'{\foo})"}, // no mark on a backslash
        {R"(\'\foo)", R"(\'\foo)"}, {R"(\'$x$)", R"(\'x)"}, {R"(\href{u})", R"(\href{u})"},
        {R"(\url x)", R"(\url x)"}, {R"(\url|x)", R"(\url|x)"}, // a delimiter that never closes
        {R"(\*)", R"(\*)"},
        // Malformed TeX.
        {"{unclosed", "{unclosed"}, // an unbalanced brace is kept, with all text
        {"closed} too", "closed} too"}, {"}{", "}{"}, {"{a}}b{{c}", "a}b{c"}, {"trailing\\", "trailing\\"},
        {R"(accent at the end\')", R"(accent at the end\')"},
        {R"(\'{e)", R"(\'{e)"}, // the unmatched brace is kept
        {"$unclosed", "$unclosed"}, {"$a$ $b", "a $b"}, {R"(\v)", R"(\v)"},
        {"\\\xC3\xA9", "\\\xC3\xA9"}, // a backslash before a non-ASCII letter
        {"", ""},
        // Plain text byte for byte.
        {"A plain title, with punctuation: (yes)!", "A plain title, with punctuation: (yes)!"},
        {"Ünïcödé stays, even decomposed: e\u0301", "Ünïcödé stays, even decomposed: e\u0301"},
        {"C'est l'été", "C'est l'été"},
        {"emoji \U0001F600 and CJK \u6F22\u5B57", "emoji \U0001F600 and CJK \u6F22\u5B57"},
        {"tab\tand\nnewline", "tab\tand\nnewline"}};
    for (const auto &[tex, text] : rows) {
        EXPECT_EQ(texToText(tex), text) << "from: " << tex;
    }
}

bool isValidUtf8(const std::string &bytes)
{
    for (size_t i = 0, size = 0; i < bytes.size(); i += size) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        size = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
        if (size == 0 || i + size > bytes.size()) {
            return false;
        }
        for (size_t k = 1; k < size; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
    }
    return true;
}

// Every prefix of a TeX-rich text, cut anywhere (inside commands, groups,
// math and multi-byte letters), comes back as valid UTF-8 when the prefix is.
TEST(TexToText, ReturnsValidUtf8ForEveryCutOfValidInput)
{
    const std::string text = R"({\bf \'{E}cole} $\alpha^{2}$ \"{\i}--\url{a\_b} Łódź \foo{x}\v{)";
    for (size_t length = 0; length <= text.size(); ++length) {
        const std::string prefix = text.substr(0, length);
        if (isValidUtf8(prefix)) {
            EXPECT_TRUE(isValidUtf8(texToText(prefix))) << "from: " << prefix;
        }
    }
}

TEST(TexToText, SurvivesDeepNesting)
{
    EXPECT_EQ(texToText(std::string(100000, '{') + "x" + std::string(100000, '}')), "x");
    std::string accents;
    for (int i = 0; i < 10000; ++i) {
        accents += "\\'{";
    }
    EXPECT_FALSE(texToText(accents + "e" + std::string(10000, '}')).empty());
}

} // namespace
