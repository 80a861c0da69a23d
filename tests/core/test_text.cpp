#include "../fuzz/fuzz_check.h"
#include "accent_table.h"
#include "entry.h"
#include "field_table.h"
#include "names.h"
#include "record.h"
#include "reference_text.h"
#include "tex_text.h"
#include "text.h"
#include "xml_writer.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <random>
#include <regex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {
namespace {

using testing::replaceAll;
using testing::xmlContent;

TEST(DecodeParserText, Decodes)
{
    const std::pair<std::string, std::string> rows[] = {
        {"Caf\u00E9 \u20AC \U0001F600", "Caf\u00E9 \u20AC \U0001F600"}, // valid UTF-8 kept
        {"Caf\xE9", "Caf\u00E9"}, // Latin-1
        {"\x80\x9F\x93\x96", "\u20AC\u0178\u201C\u2013"}, // Windows-1252, not C1 controls
        {"\x81\x8D\x8F\x90\x9D", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"}, // undefined in 1252
        // One invalid byte makes the whole string Windows-1252, valid pairs included.
        {"\xC3\xA9 \xE9", "\u00C3\u00A9 \u00E9"}, {"\xC0\xAF", "\u00C0\u00AF"}, // overlong "/"
        {"\xE0\x80\xAF", "\u00E0\u20AC\u00AF"}, // overlong, three bytes
        {"\xED\xA0\x80", "\u00ED\u00A0\u20AC"}, // a surrogate
        {"\xF4\x90\x80\x80", "\u00F4\uFFFD\u20AC\u20AC"}, // above U+10FFFF
        {"\xC3", "\u00C3"}, // cut off
    };
    for (const auto &[bytes, utf8] : rows) {
        EXPECT_EQ(decodeParserText(bytes), utf8) << bytes;
    }
}

TEST(XmlContent, IsEscapedCleanUtf8)
{
    const std::pair<std::string, std::string> rows[] = {
        {"a<b>&c", "a&lt;b&gt;&amp;c"},
        {"M{\\\"u}ller \x01", "M\u00FCller "}, // ASCII with a control character
        {"M\xFCller & {\\'e}", "M\u00FCller &amp; \u00E9"}, // Latin-1
        {"\xEF\xBF\xBE<", "&lt;"}, // U+FFFE in valid UTF-8
        {std::string("a\0b", 3), "ab"},
        {std::string("a\x00\x01\x08\x0B\x0C\x0E\x1F\x7F"
                     "b",
             10),
            "a\x7F"
            "b"}, // only what XML forbids goes
        {"tab\tLF\nCR\r", "tab\tLF\nCR\r"}, {"x\uFFFEy\uFFFF\uFFFDz\uFFFC", "xy\uFFFDz\uFFFC"},
        {"{\\'e}\x80", "\u00E9\u20AC"}, // keys still convert after decoding
    };
    for (const auto &[bytes, xml] : rows) {
        EXPECT_EQ(xmlContent(bytes), xml) << bytes;
    }
    // In an attribute value the quote that would end it is escaped as well.
    EXPECT_EQ(xmlEscaped("a\"<b", XmlPlace::Attribute), "a&quot;&lt;b");
    EXPECT_EQ(xmlEscaped("a\"<b"), "a\"&lt;b");
}

// The cases a random text is unlikely to hit; everything else is left to the
// comparison with the row-by-row definition below.
TEST(Cleanup, Converts)
{
    const std::pair<const char *, const char *> rows[] = {{"Fish & Chips", "Fish &amp; Chips"},
        {"&lt;", "&amp;lt;"}, // an existing reference is text of the entry
        {"\\&", "\\&amp;"}, // TeX's escaped ampersand keeps its backslash
        {"a<b>c", "a<b>c"}, // angle brackets are not the clean-up's business
        {"Caf{\\'e} \u00E9", "Caf\u00E9 \u00E9"}, {"{\\Aa}", "{\\Aa}"}, // case counts
        {"{{\\'a}}", "{\u00E1}"}, // only the key's own braces go
        {"{\\{\\'a}a}", "{\\\u00E1a}"}, // removing a key forms no new one
        {"{\\'i}", "{\\'i}"}, // lowercase i needs the dotless form
        {"{\\L}", "{\\L}"}, // no capital row
        {"K{\\\"o}ln:2001", "K\u00F6ln:2001"}, // inside a citation key too
        {"{\\'{e}}", "{\\'{e}}"}, {"{\\'e}{", "\u00E9{"}};
    for (const auto &[input, output] : rows) {
        EXPECT_EQ(cleanupOutput(input), output) << input;
    }
    EXPECT_EQ(escapeAndClean("<a href=\"x\">&{\\'e}</a>"), "&lt;a href=\"x\"&gt;&amp;\u00E9&lt;/a&gt;");
    EXPECT_EQ(escapeAndClean("&lt;"), "&amp;lt;");
}

// The UTF-8 of a letter of the accent table, all of which are below U+0800.
std::string utf8(char32_t letter)
{
    return {char(0xC0 | (letter >> 6)), char(0x80 | (letter & 0x3F))};
}

// The definition: "&" first, then every accent row in order, each applied to
// the whole text with replaceAll.
std::string cleanupRowByRow(std::string text, bool escapeAngles)
{
    text = replaceAll(text, "&", "&amp;");
    if (escapeAngles) {
        text = replaceAll(replaceAll(text, "<", "&lt;"), ">", "&gt;");
    }
    for (const AccentRow &row : accentTable()) {
        text = replaceAll(text, row.key, utf8(row.letter));
    }
    return text;
}

// Texts built from the characters keys are made of, with whole keys mixed in,
// so that near-keys, nested braces, adjacent keys and cut-off keys all occur.
TEST(Cleanup, OneScanEqualsApplyingTheRowsInOrder)
{
    const std::vector<std::string> pieces{
        "{", "}", "\\", "'", "\"", "v", "c", "a", "&", "<", ">", " ", "i", "u", "o", "e", "\u00E9", "{\\"};
    std::mt19937 random(20240601);
    const auto table = accentTable();
    std::vector<std::string> texts{"{\\{\\'a}a}", "{\\v {\\v c}}", "{\\'\\i}}", "{{\\\"{\\ss}}}", "&{\\&}&",
        "{\\u \\i}{\\u \\i", "<{\\'a}>"};
    for (int n = 0; n < 4000; ++n) {
        std::string text;
        for (int i = int(random() % 40); i > 0; --i) {
            text += random() % 8 == 0 ? std::string(table[random() % table.size()].key)
                                      : pieces[random() % pieces.size()];
        }
        texts.push_back(text);
    }
    for (const std::string &text : texts) {
        ASSERT_EQ(cleanupOutput(text), cleanupRowByRow(text, false)) << "input: " << text;
        ASSERT_EQ(escapeAndClean(text), cleanupRowByRow(text, true)) << "input: " << text;
    }
}

// Whether Unicode decomposes `letter` canonically (into a base and marks).
bool decomposes(char32_t letter)
{
    utf8proc_int32_t parts[4];
    return utf8proc_decompose_char(utf8proc_int32_t(letter), parts, 4, UTF8PROC_DECOMPOSE, nullptr) > 1;
}

// Every row must be the letter TeX prints for its key, which texToText
// composes from base and mark by Unicode's tables rather than by this one: a
// wrong letter, a wrong accent or a wrong base in any row fails here.
TEST(AccentTable, EveryRowIsTheLetterItsKeyPrints)
{
    const auto table = accentTable();
    ASSERT_EQ(table.size(), 169u);
    std::set<char32_t> letters;
    for (const AccentRow &row : table) {
        SCOPED_TRACE(row.key);
        EXPECT_TRUE(letters.insert(row.letter).second) << "duplicate letter";
        ASSERT_TRUE(row.letter >= 0xC0 && row.letter <= 0x17F && row.letter != 0xD7 && row.letter != 0xF7);
        EXPECT_EQ(texToText(row.key), utf8(row.letter));
        // The clean-up's single scan relies on no key holding another.
        EXPECT_EQ(row.key.find('&'), std::string_view::npos);
        EXPECT_EQ(row.key.find('{', 1), std::string_view::npos);
        // Lowercase i and j appear only as the dotless commands.
        EXPECT_FALSE(std::regex_search(std::string(row.key), std::regex(R"([^\\][ij]\}$)")));
    }
    // Every letter of the range that is a base with marks has its key.
    for (char32_t letter = 0xC0; letter <= 0x17F; ++letter) {
        EXPECT_TRUE(!decomposes(letter) || letters.count(letter)) << std::hex << "U+" << uint32_t(letter);
    }
}

// The plain record: types and names.

TEST(NamePart, WritesOnlyWhatTheTokensHold)
{
    struct Row {
        Person person;
        NamePart part;
        std::string text;
    };
    const std::string longToken(100000, 'x'); // no length limit
    const Row rows[] = {{{{}, {"Jane"}}, NamePart::Last, ""},
        {{{"de la", "Cruz"}, {}}, NamePart::Last, "<b:Last>de la Cruz</b:Last>\n"}, // joined by one space
        {{{"Doe"}, {}}, NamePart::First, ""},
        {{{}, {"Jane"}}, NamePart::First, "<b:First>Jane</b:First>\n"}, // no Middle
        {{{}, {"A.", "B.", "C."}}, NamePart::First, "<b:First>A. B.</b:First>\n<b:Middle>C.</b:Middle>\n"},
        {{{""}, {}}, NamePart::Last, "<b:Last></b:Last>\n"}, // an empty token is still an element
        {{{longToken}, {}}, NamePart::Last, "<b:Last>" + longToken + "</b:Last>\n"}};
    for (const Row &row : rows) {
        EXPECT_EQ(testing::namePart(row.person, row.part), row.text) << row.text.substr(0, 40);
    }
}

TEST(ContributorBlock, WrapsTheRoleAndTheNameList)
{
    struct Row {
        const char *fieldName;
        std::optional<std::vector<Person>> names;
        const char *block;
    };
    const Row rows[]
        = {{"author", std::nullopt,
               "<b:Author>\n<b:Author>\n</b:Author>\n</b:Author>\n"}, // the splitter gave no list
            {"editor", std::vector<Person>{},
                "<b:Author>\n<b:Editor>\n<b:NameList>\n</b:NameList>\n</b:Editor>\n</b:Author>\n"},
            {"translator", std::vector<Person>{Person{}}, // an empty name gives an empty person
                "<b:Author>\n<b:Translator>\n<b:NameList>\n<b:Person>\n</b:Person>\n</b:NameList>\n"
                "</b:Translator>\n</b:Author>\n"}};
    for (const Row &row : rows) {
        EXPECT_EQ(
            contributorBlock(contributorRole(row.fieldName), Field{row.fieldName, "", row.names}), row.block)
            << row.fieldName;
    }
}

// Names, keys and types reach the record as escaped Unicode, like every field.
TEST(SourceRecord, WritesNamesKeysAndTypesAsEscapedUnicode)
{
    const std::vector<Person> people{{{"M{\\\"u}ller"}, {"J\xf6rg"}}}; // accent macro, Latin-1 token
    const std::string names = sourceRecord(Entry{"book", "k", {Field{"author", "(split)", people}}, 1});
    EXPECT_NE(names.find("<b:Last>M\xc3\xbcller</b:Last>\n<b:First>J\xc3\xb6rg</b:First>"), std::string::npos)
        << names;
    const std::vector<Person> markup{{{"<Chips>"}, {"Fish", "&"}}};
    const std::string record = sourceRecord(Entry{"my<type>", "a&b<c>", {Field{"editor", "", markup}}, 1});
    for (const char *part : {"<b:Tag>a&amp;b&lt;c&gt;</b:Tag>", "<b:SourceType>my&lt;type&gt;</b:SourceType>",
             "<b:Last>&lt;Chips&gt;</b:Last>", "<b:Middle>&amp;</b:Middle>"}) {
        EXPECT_NE(record.find(part), std::string::npos) << part << "\n" << record;
    }
}

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
        {R"(y{\textacutemacron a} \textsubring{r} \textsubdot{s})", "yā\u0301 r\u0325 ṣ"}, // tipa's accents
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
        {"O'Brien's `x'", "O'Brien's ‘x’"}, // an apostrophe stays, a quoted word is quoted
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
        {R"($O(n\log n)$, $\sin(x)$, $2\sin x$, $\max_2$, $\alpha\cos\beta$)",
            "O(n log n), sin(x), 2 sin x, max₂, α cos β"},
        {R"($\Omega \times \pi$)", "Ω×π"}, {R"($-1$)", "\u22121"}, {R"($20^\circ$C)", "20°C"},
        {R"($\mathrm{d}x$)", "dx"}, {R"($\sin x$)", "sin x"}, {R"(\ensuremath{\beta}-sheet)", "β-sheet"},
        {R"(H\textsubscript{2}O, 10\textsuperscript{-6})", "H₂O, 10⁻⁶"},
        {"$^{0123456789}$ $_{0123456789}$ $^n$ $_n$ $^x$",
            "⁰¹²³⁴⁵⁶⁷⁸⁹ ₀₁₂₃₄₅₆₇₈₉ ⁿ $_n$ $^x$"}, // no letter is lowered
        {R"($\frac n 2$, $\frac{a+b}{2}$, $\tfrac12$, $\sqrt{2}$, $\frac{\alpha}{\beta}$)",
            "n/2, (a+b)/2, 1/2, √2, α/β"},
        {R"($\hat{x}$ $\bar a$ $\vec v$ {$\langle$}00{$\overline 1\rangle$} $\overline{AB}$)",
            "x̂ ā v\u20D7 ⟨001\u0305⟩ A\u0305B\u0305"},
        {R"(a{$\quad$}b)", "a b"},
        {R"($\left( 000\bar{1} \right)$ $\left\langle x\right.$ $\bigl[a\bigr]$)", "(0001̄) ⟨x [a]"},
        {R"($\phi\varphi$ $\Alpha$ \Emph{x} \tex)", R"(ϕφ $\Alpha$ x \tex)"}, // names are case-sensitive
        // Math without a direct equivalent is kept.
        {R"($\sqrt[3]{x}$ $\hat{xy}$ $\frac{a}$)", R"($\sqrt[3]{x}$ $\hat{xy}$ $\frac{a}$)"},
        {R"($x_i$)", R"($x_i$)"},
        {R"(19\textsuperscript{th} century)", "19th century"}, // no raised letters: plain
        {R"($x^{ab}$)", R"($x^{ab}$)"}, {R"($\alpha$ and $\binom{n}{k}$)", R"(α and $\binom{n}{k}$)"},
        // Nested commands.
        {R"({\bf \'{E}cole {\em Normale}})", "École Normale"},
        {R"(\emph{\textbf{Na\"{\i}ve} {T}ypes})", "Naïve Types"},
        {R"({\sc {\"U}ber \TeX}-Satz)", "Über TeX-Satz"}, {R"(\textit{$\alpha$-{H}elix})", "α-Helix"},
        // An unknown command with arguments gives their text; without, it is kept.
        {R"(\foo{x})", "x"}, {R"(\acro {TUG})", "TUG"}, {R"(\foo{x}{y} z)", "xy z"},
        {R"(\booktitle{Portr{\"a}t})", "Porträt"}, // its arguments are read as text
        {R"(\foo bar)", R"(\foo bar)"}, {R"(\TUB{} 12)", R"(\TUB{} 12)"}, {R"(\TUB\ 12)", R"(\TUB 12)"},
        {R"({\Dash}an)", R"(\Dash{}an)"}, // not \Dashan, another command
        {R"(Obituary{\Dash}{Yuri})", R"(Obituary\Dash{}Yuri)"}, {R"(\Bib\LaTeX)", R"(\Bib{}LaTeX)"},
        {R"(\Dash\Dash)", R"(\Dash\Dash)"}, {R"(\PS, \VAX.)", R"(\PS, \VAX.)"},
        // Primitives and layout: what they move or box is text, their sizes go.
        {R"(DVIto\kern-.1emVDU)", "DVItoVDU"}, {R"(T\kern -0.1667em\lower.5ex\hbox{E}\kern-.125emX)", "TEX"},
        {R"(a\hskip 0pt plus 1fil b\vskip 2\baselineskip c)", "abc"}, {R"(a\kern1true in b)", "ab"},
        {R"(\smash{x} \llap{\raise.5ex\hbox{y}}\rlap{z} \mbox{w})", "x yz w"},
        {R"(\hbox to 3em{x}\hbox spread 1pt{y})", "xy"}, {R"(a\penalty-100 b)", "ab"},
        {R"(\accent"7F o \accent127 a \accent19e \accent'177u)", "ö ä é ü"}, // positions of TeX's own font
        {R"(\accent 200 x)", "x"}, // no accent there
        {R"(a\hspace{1em}b\hspace*{2pt}c\vspace{1ex})", "abc"}, {R"(\textcolor{red}{x}\color{blue}y)", "xy"},
        {R"(\foreignlanguage{german}{Stra\ss e} \raisebox{1pt}[0pt]{r} \rule{1pt}{2pt}.)", "Straße r ."},
        {R"(\texorpdfstring{$\alpha$}{alpha} \label{x}\index{y}done)", "α done"},
        {R"(\unskip\ignorespaces\leavevmode\null\strut x\hfill y)", "xy"},
        // biblatex's punctuation, dashes and rich text.
        {R"(9\psq, 9\psqq, Westf\adddot\addspace und\addcomma\ Text\addcolon)",
            "9 sq., 9 sqq., Westf. und, Text:"},
        {R"(a\hyphen b\bibrangedash c\bibdatedash d\nbhyphen e\addnbspace f)", "a-b–c–d‑e f"},
        {R"(\mkbibemph{e} \mkbibitalic{i} \mkbibbold{b} \mkbibacro{NASA})", "e i b NASA"},
        {R"(\mkbibquote{q} \mkbibparens{p} \mkbibbrackets{b})", "“q” (p) [b]"},
        {R"(CO\textsubscript{2} x\mkbibsuperscript{2} 1\textsuperscript{st} x\textsubscript{ij})",
            "CO₂ x² 1st xij"},
        {R"(\'{\foo})", R"(\'{\foo})"}, // no mark on a backslash
        {R"(\'\foo)", R"(\'\foo)"}, {R"(\'$x$)", R"(\'x)"}, {R"(\href{u})", "u"}, {R"(\url x)", R"(\url x)"},
        {R"(\url|x)", R"(\url|x)"}, // a delimiter that never closes
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

// Every prefix of a TeX-rich text, cut anywhere (inside commands, groups,
// math and multi-byte letters), comes back as valid UTF-8 when the prefix is.
TEST(TexToText, ReturnsValidUtf8ForEveryCutOfValidInput)
{
    const std::string text = R"({\bf \'{E}cole} $\alpha^{2}$ \"{\i}--\url{a\_b} Łódź \foo{x}\v{)";
    for (size_t length = 0; length <= text.size(); ++length) {
        const std::string prefix = text.substr(0, length);
        if (fuzzcheck::isValidUtf8(prefix)) {
            EXPECT_TRUE(fuzzcheck::isValidUtf8(texToText(prefix))) << "from: " << prefix;
        }
    }
}

TEST(CommandsLeftIn, FindsEveryControlWordAsWritten)
{
    using Commands = std::vector<std::string_view>;
    EXPECT_EQ(commandsLeftIn(R"(\TUB{} 12, \Dash\Dash $\frac{a}{b}$)"),
        (Commands{"\\TUB", "\\Dash", "\\Dash", "\\frac"}));
    EXPECT_EQ(commandsLeftIn(R"(50\% \\ \{x\} a\)"), Commands{}); // control symbols and a lone backslash
    EXPECT_EQ(commandsLeftIn(texToText(R"(\'e \emph{x} \TUB)")), Commands{"\\TUB"});
}

TEST(TexToText, SurvivesDeepNesting)
{
    EXPECT_EQ(texToText(std::string(100000, '{') + "x" + std::string(100000, '}')), "x");
    std::string alternatives;
    for (int i = 0; i < 10000; ++i) {
        alternatives += "\\texorpdfstring{";
    }
    EXPECT_FALSE(texToText(alternatives + "x" + std::string(10000, '}')).empty());
    std::string accents;
    for (int i = 0; i < 10000; ++i) {
        accents += "\\'{";
    }
    EXPECT_FALSE(texToText(accents + "e" + std::string(10000, '}')).empty());
}

} // namespace
} // namespace bibsources
