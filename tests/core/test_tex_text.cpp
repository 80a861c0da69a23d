#include "tex_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace bibsources;

namespace {

struct Row {
    const char *tex;
    const char *text;
};

void expectRows(std::initializer_list<Row> rows)
{
    for (const Row &row : rows) {
        EXPECT_EQ(texToText(row.tex), row.text) << "from: " << row.tex;
    }
}

TEST(TexToText, ComposesEveryAccentCommand)
{
    expectRows({
        {R"(\'e)", "é"}, {R"(\`a)", "à"}, {R"(\^o)", "ô"}, {R"(\"u)", "ü"}, {R"(\~n)", "ñ"}, {R"(\=a)", "ā"},
        {R"(\.z)", "ż"}, {R"(\u{g})", "ğ"}, {R"(\v s)", "š"}, {R"(\H{o})", "ő"}, {R"(\c{C})", "Ç"},
        {R"(\c s)", "ş"}, // cedilla, not the comma below of ș
        {R"(\k{a})", "ą"}, {R"(\r{a})", "å"}, {R"(\d{s})", "ṣ"}, {R"(\b{t})", "ṯ"},
        {R"(\t{oo})", "o\u0361o"}, // the tie spans both letters: no precomposed form
        {R"(\'y)", "ý"}, {R"(\v{Z})", "Ž"}, {R"(\"{y})", "ÿ"},
        {R"(\'w)", "ẃ"}, // beyond Latin-1 and Latin Extended-A
        {R"(\v{g})", "ǧ"}, {R"(\'x)", "x\u0301"}, // no precomposed letter: the mark stays combining
    });
}

TEST(TexToText, ReadsEverySpellingOfAnAccent)
{
    expectRows({
        {R"(\'e)", "é"},
        {R"(\'{e})", "é"},
        {R"({\'e})", "é"},
        {R"({\'{e}})", "é"},
        {R"(\' e)", "é"},
        {R"(\'\i)", "í"}, // the accent takes the dot's place
        {R"({\"{\i}})", "ï"},
        {R"(\^{\j})", "ĵ"},
        {R"(\'{\o})", "ǿ"}, // a special letter under an accent
        {R"(\'{\^e})", "ế"}, // two accents on one letter
        {R"(\c{\'c})", "ḉ"}, // marks put in canonical order before composing
        {R"(\'é)", "é\u0301"}, // a letter written directly
        {R"(Ho\v{r}ej\v{s}\'{\i})", "Hořejší"},
    });
}

TEST(TexToText, WritesSpecialLetters)
{
    expectRows({
        {R"(\i)", "ı"},
        {R"(\j)", "ȷ"},
        {R"(\o)", "ø"},
        {R"(\O)", "Ø"},
        {R"(\l)", "ł"},
        {R"(\L)", "Ł"},
        {R"(\ss)", "ß"},
        {R"(\SS)", "SS"},
        {R"(\ae)", "æ"},
        {R"(\AE)", "Æ"},
        {R"(\oe)", "œ"},
        {R"(\OE)", "Œ"},
        {R"(\aa)", "å"},
        {R"(\AA)", "Å"},
        {R"(\dh)", "ð"},
        {R"(\DH)", "Ð"},
        {R"(\th)", "þ"},
        {R"(\TH)", "Þ"},
        {R"(\ng)", "ŋ"},
        {R"(\NG)", "Ŋ"},
        {R"(Stra\ss e)", "Straße"}, // a control word eats the blank behind it, as in TeX
        {R"(S{\o}ren)", "Søren"},
        {R"(\L{}\'od\'z)", "Łódź"},
        {R"(\oe uvre)", "œuvre"},
    });
}

TEST(TexToText, UnescapesSpecialCharacters)
{
    expectRows({
        {R"(A \& B)", "A & B"},
        {R"(50\%)", "50%"},
        {R"(\$5)", "$5"},
        {R"(\#1)", "#1"},
        {R"(a\_b)", "a_b"},
        {R"(\{x\})", "{x}"},
    });
}

TEST(TexToText, WritesTypographicCharacters)
{
    expectRows({
        {"a~b", "a\u00A0b"},
        {"1--9", "1\u20139"},
        {"yes---no", "yes\u2014no"},
        {"----", "\u2014-"}, // read as TeX reads it: the longest dash first
        {"a-b", "a-b"},
        {"``quoted''", "\u201Cquoted\u201D"},
        {"O'Brien's `x'", "O'Brien's `x'"}, // single quotes stay as written
        {R"(Ver\-fah\-ren)", "Verfahren"},
        {R"(\LaTeX\ users)", "LaTeX users"},
        {R"(J.\,R.)", "J.\u2009R."},
        {R"(line\\break)", "line break"},
        {R"(Dr.\@ Who)", "Dr. Who"},
        {R"(\ldots)", "…"},
        {R"(\enquote{Intention})", "\u201CIntention\u201D"},
        {R"(http://x.org/\~{}me)", "http://x.org/~me"}, // an accent on nothing prints itself
        {R"(\'{})", "´"},
    });
}

TEST(TexToText, KeepsTheContentOfFontCommands)
{
    expectRows({
        {R"(\emph{x})", "x"},
        {R"(\textit{x})", "x"},
        {R"(\textbf{x})", "x"},
        {R"(\textsc{x})", "x"},
        {R"(\textrm{x})", "x"},
        {R"(\texttt{x})", "x"},
        {R"(\textsf{x})", "x"},
        {R"(\textup{x})", "x"},
        {R"(\textsl{x})", "x"},
        {R"(\mbox{x})", "x"},
        {R"(\text{x})", "x"},
        {R"(a {\em b} c)", "a b c"},
        {R"({\bf b})", "b"},
        {R"({\it b})", "b"},
        {R"({\sc b})", "b"},
        {R"({\rm b})", "b"},
        {R"({\tt b})", "b"},
        {R"({\sf b})", "b"},
        {R"({\sl b})", "b"},
        {R"({\small b})", "b"},
    });
}

TEST(TexToText, WritesLinksAndLogos)
{
    expectRows({
        {R"(\url{http://x.org/~a--b})", "http://x.org/~a--b"}, // a link is not typeset text
        {R"(\url{http://x.org/a\_b\%20})", "http://x.org/a_b%20"},
        {R"(\href{http://x.org}{the site})", "the site"},
        {R"(\href{http://x.org}{\emph{the} site})", "the site"},
        {R"(\path|http://x.org/a_b|)", "http://x.org/a_b"}, // a delimiter instead of braces
        {R"(\TeX)", "TeX"},
        {R"({\LaTeX})", "LaTeX"},
        {R"(\LaTeXe)", "LaTeX2ε"},
        {R"(\BibTeX{} files)", "BibTeX files"},
        {R"(\AmSTeX)", "AMS-TeX"},
        {R"(\METAFONT)", "METAFONT"},
    });
}

TEST(TexToText, RemovesCaseProtectingBraces)
{
    expectRows({
        {"The {Roman} Amphitheatre", "The Roman Amphitheatre"},
        {"{{DNA}} and {R}{NA}", "DNA and RNA"},
        {"{}", ""},
    });
}

TEST(TexToText, WritesSimpleMathAsUnicode)
{
    expectRows({
        {R"($\alpha$)", "α"},
        {R"(10 $\mu$m)", "10 μm"},
        {R"($x^2$)", "x²"},
        {R"($10^{-3}$)", "10⁻³"},
        {R"(H$_2$O)", "H₂O"},
        {R"($a \leq b$)", "a≤b"}, // spaces in math are not typeset
        {R"($\Omega \times \pi$)", "Ω×π"},
        {R"($-1$)", "\u22121"},
        {R"($20^\circ$C)", "20°C"},
        {R"($\mathrm{d}x$)", "dx"},
        {R"($\sin x$)", "sinx"},
    });
}

TEST(TexToText, KeepsMathWithoutADirectEquivalent)
{
    expectRows({
        {R"($\frac{a}{b}$)", R"($\frac{a}{b}$)"},
        {R"($x_i$)", R"($x_i$)"},
        {R"($x^{ab}$)", R"($x^{ab}$)"},
        {R"($\alpha$ and $\frac12$)", R"(α and $\frac12$)"},
    });
}

TEST(TexToText, ReadsNestedCommands)
{
    expectRows({
        {R"({\bf \'{E}cole {\em Normale}})", "École Normale"},
        {R"(\emph{\textbf{Na\"{\i}ve} {T}ypes})", "Naïve Types"},
        {R"({\sc {\"U}ber \TeX}-Satz)", "Über TeX-Satz"},
        {R"(\textit{$\alpha$-{H}elix})", "α-Helix"},
    });
}

TEST(TexToText, KeepsWhatItDoesNotUnderstand)
{
    expectRows({
        {R"(\foo{x})", R"(\foo{x})"},
        {R"(\foo{x}{y} z)", R"(\foo{x}{y} z)"},
        {R"(\booktitle{Portr{\"a}t})", R"(\booktitle{Porträt})"}, // its arguments are read as text
        {R"(\foo bar)", R"(\foo bar)"},
        {R"(\noopsort{1973}1973)", R"(\noopsort{1973}1973)"},
        {R"(\'{\foo})", R"(\'{\foo})"}, // no mark on a backslash
        {R"(\'\foo)", R"(\'\foo)"},
        {R"(\'$x$)", R"(\'x)"},
        {R"(\href{u})", R"(\href{u})"},
        {R"(\url x)", R"(\url x)"},
        {R"(\*)", R"(\*)"},
    });
}

TEST(TexToText, SurvivesMalformedTex)
{
    expectRows({
        {"{unclosed", "{unclosed"}, // an unbalanced brace is kept, with all text
        {"closed} too", "closed} too"},
        {"}{", "}{"},
        {"{a}}b{{c}", "a}b{c"},
        {"trailing\\", "trailing\\"},
        {R"(accent at the end\')", R"(accent at the end\')"},
        {R"(\'{e)", R"(\'{e)"}, // the unmatched brace is kept
        {"$unclosed", "$unclosed"},
        {"$a$ $b", "a $b"},
        {R"(\v)", R"(\v)"},
        {"\\\xC3\xA9", "\\\xC3\xA9"}, // a backslash before a non-ASCII letter
        {"", ""},
    });
}

TEST(TexToText, KeepsPlainTextByteForByte)
{
    const std::string rows[] = {
        "A plain title, with punctuation: (yes)!",
        "Ünïcödé stays, even decomposed: e\u0301",
        "C'est l'été",
        "emoji \U0001F600 and CJK \u6F22\u5B57",
        "tab\tand\nnewline",
    };
    for (const std::string &text : rows) {
        EXPECT_EQ(texToText(text), text);
    }
}

// Every prefix of a TeX-rich text, cut anywhere (inside commands, groups,
// math and multi-byte letters), comes back as valid UTF-8 when the prefix is.
TEST(TexToText, ReturnsValidUtf8ForEveryCutOfValidInput)
{
    const std::string text = R"({\bf \'{E}cole} $\alpha^{2}$ \"{\i}--\url{a\_b} Łódź \foo{x}\v{)";
    for (size_t length = 0; length <= text.size(); ++length) {
        const std::string prefix = text.substr(0, length);
        const auto isValid = [](const std::string &bytes) {
            size_t i = 0;
            while (i < bytes.size()) {
                const auto c = static_cast<unsigned char>(bytes[i]);
                const size_t size = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
                if (size == 0 || i + size > bytes.size()) {
                    return false;
                }
                for (size_t k = 1; k < size; ++k) {
                    if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                        return false;
                    }
                }
                i += size;
            }
            return true;
        };
        if (isValid(prefix)) {
            EXPECT_TRUE(isValid(texToText(prefix))) << "from: " << prefix;
        }
    }
}

TEST(TexToText, SurvivesDeepNesting)
{
    const std::string braces = std::string(100000, '{') + "x" + std::string(100000, '}');
    EXPECT_EQ(texToText(braces), "x");
    std::string accents;
    for (int i = 0; i < 10000; ++i) {
        accents += "\\'{";
    }
    accents += "e" + std::string(10000, '}');
    EXPECT_FALSE(texToText(accents).empty());
}

} // namespace
