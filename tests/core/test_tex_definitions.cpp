#include "reference_text.h"
#include "test_support.h"
#include "tex_definitions.h"
#include "tex_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bibsources {
namespace {

using testing::repeated;

std::string expandedText(std::string_view definitionText, std::string_view field)
{
    TexDefinitions definitions;
    definitions.read(definitionText);
    const Expansion expansion = expandDefinitions(field, definitions);
    EXPECT_EQ(expansion.problem, "") << "from: " << field;
    return texToText(expansion.text);
}

TEST(TexDefinitions, ExpandWhereUsed)
{
    struct Row {
        const char *definitions;
        const char *field;
        const char *text;
    };
    const Row rows[] = {
        {R"(\def\TUB{TUGboat})", R"(\TUB\ 12, {\TUB}, \TUB{} 3)", "TUGboat 12, TUGboat, TUGboat 3"},
        {R"(\gdef\TUB{TUGboat})", R"(\TUB)", "TUGboat"},
        {R"(\edef\TUB{TUGboat})", R"(\TUB)", "TUGboat"}, // read as \def
        {R"(\def\booktitle#1{{\em #1}})", R"(In \booktitle{Portr{\"a}t})", "In Porträt"},
        {R"(\def\pair#1#2{#2, #1})", R"(\pair{Knuth}{Donald} \pair ab)", "Donald, Knuth b, a"},
        {R"(\newcommand{\pkg}[1]{\texttt{#1}})", R"(The \pkg{hyperref} package)", "The hyperref package"},
        {R"(\newcommand\acro[1]{#1})", R"(\acro{TUG})", "TUG"}, // no braces around the name
        {R"(\newcommand*{\Dash}{---})", R"(Obituary{\Dash}{Yuri})", "Obituary—Yuri"},
        {R"(\providecommand{\opt}[2][x]{#1-#2})", R"(\opt{a} \opt[b]{c})", "x-a b-c"},
        {R"(\DeclareRobustCommand{\BibTeXs}{BibTeXs})", R"(\BibTeXs)", "BibTeXs"},
        {R"(\def\xa{A}\renewcommand{\xa}{B})", R"(\xa)", "B"}, // a later definition replaces
        {R"(\newcommand{\xa}{A}\newcommand{\xa}{B})", R"(\xa)", "A"}, // \newcommand does not
        {R"(\def\xa{A}\providecommand{\xa}{B})", R"(\xa)", "A"},
        {R"(\def\xa{A}\let\xb\xa\let\xc=\xa)", R"(\xb\xc)", "AA"},
        {R"(\def\x{\y}\def\y{Y})", R"(\x)", "Y"}, // expanded again after expansion
        {R"(\def\hash#1{##1 #1})", R"(\hash{z})", "#1 z"},
        {R"(\def \toenglish #1\endtoenglish{[English: #1]})", R"(Titel \toenglish Title, {x} \endtoenglish.)",
            "Titel [English: Title, x ]."}, // an argument up to the text that ends it
        {R"(\def\pair#1,#2.{#2 #1})", R"(\pair{a,b},c. \pair x)",
            R"(c a,b \pair x)"}, // one never ended stays
        {R"(\def\Bib{Bib})", R"(\Bib\TeX)", "BibTeX"},
        {R"(\def\cmd{\foo})", R"(\cmd bar)", R"(\foo bar)"}, // never glued into \foobar
        // Guards: a definition counts only where its condition holds.
        {R"(\ifx\undefined\bt \def\bt{new}\fi)", R"(\bt)", "new"},
        {R"(\def\bt{old}\ifx\undefined\bt \def\bt{new}\fi)", R"(\bt)", "old"},
        {R"(\def\bt{old}\ifx\bt\undefined \def\bt{new}\else\def\xc{C}\fi)", R"(\bt\xc)", "oldC"},
        {R"(\ifdefined\bt\else\def\bt{new}\fi)", R"(\bt)", "new"},
        {R"(\expandafter\ifx\csname bt\endcsname\relax \def\bt{new}\fi)", R"(\bt)", "new"},
        {R"(\ifcsname bt\endcsname\else\def\bt{new}\fi)", R"(\bt)", "new"},
        {R"(\@ifundefined{bt}{\def\bt{new}}{\def\bt{old}})", R"(\bt)", "new"},
        {R"(\ifx\undefined\url \def\url#1{#1!}\fi)", R"(\url{u})", "u"}, // a known command stays
        {R"(\ifx\undefined\xa \ifx\undefined\xb \def\xa{no}\fi \else\fi \def\xb{B})", R"(\xa\xb)", R"(noB)"},
        {R"(\ifx\undefined\url \ifx\undefined\xb\def\xb{no}\fi \def\xa{no}\fi \def\xc{C})", R"(\xc\xb\xa)",
            R"(C\xb\xa)"},
        // A file of definitions: comments end at the line's end.
        {"\\def\\xa{A}% \\def\\xa{B}\n\\def\\xb{B}", R"(\xa\xb)", "AB"},
        {"\\def\\xa{A}% \\def\\xb{B}", R"(\xa\xb)", "AB"}, // a preamble's "%" is text
        // What cannot be expanded stays.
        {R"(\def\pair#1#2{#1#2})", R"(\pair{a})", "a"}, // an argument missing: read as unknown
        {R"(\def\one#1{#1})", R"(\one{open)", R"(\one{open)"},
        {R"(\def\TUB{TUGboat})", R"(\TUBx \\TUB)", R"(\TUBx  TUB)"},
    };
    for (const Row &row : rows) {
        EXPECT_EQ(expandedText(row.definitions, row.field), row.text)
            << "from: " << row.definitions << " and " << row.field;
    }
}

TEST(TexDefinitions, SayWhatCouldNotBeRead)
{
    struct Row {
        const char *definitions;
        std::vector<std::string> problems;
    };
    const Row rows[] = {
        {R"(\def\xa{A)", {R"(\xa: its body never closes; not read)"}},
        {R"(\def\xa x#1{A})", {R"(\xa: text before its first parameter is not read)"}},
        {R"(\def{A})", {R"(\def without a command name: not read)"}},
        {R"(\newcommand{A})", {R"(\newcommand without a command name: not read)"}},
        {R"(\newcommand{\xa}[x]{A} \def\xb{B})",
            {R"(\xa: the number of parameters is not 0 to 9; not read)"}},
        {R"(\newcommand{\xa}[0][d]{A})",
            {R"(\xa: an optional parameter needs one to 9 parameters; not read)"}},
        {R"(\input tugboat.def \input{more.tex})",
            {"reads tugboat.def, which is not read here; give its definitions with --macros FILE",
                "reads more.tex, which is not read here; give its definitions with --macros FILE"}},
        {R"(\def\xa{A} text \usepackage{x} \fi \else)", {}},
    };
    for (const Row &row : rows) {
        TexDefinitions definitions;
        EXPECT_EQ(definitions.read(row.definitions), row.problems) << "from: " << row.definitions;
    }
}

// Definitions that never end or explode stop at a limit, name it, and
// leave the text as written.
TEST(TexDefinitions, StopAtTheirLimits)
{
    struct Row {
        const char *definitions;
        std::string field;
        const char *problem;
    };
    const Row rows[] = {
        {R"(\def\loop{\loop})", R"(a \loop)", R"(\loop expands without end)"},
        {R"(\def\qa{\qb}\def\qb{x\qa})", R"(\qa)", R"(\qa expands without end)"},
        {R"(\def\qa#1{#1#1#1#1#1#1#1#1}\def\qb{\qa{\qa{\qa{\qa{\qa{\qa{xxxxxxxx}}}}}}})", R"(\qb)",
            R"(\qb expands to more than 64 KiB)"},
        // The argument doubles at every level while nothing is written yet.
        {R"(\def\qa#1{\qa{#1#1}})", R"(\qa{xxxxxxxx})", R"(\qa expands to more than 64 KiB)"},
        {R"(\def\qa{\qb\qb}\def\qb{\qc\qc}\def\qc{\qd\qd}\def\qd{\qe\qe}\def\qe{\qf\qf}\def\qf{\qg\qg}\def\qg{\qh\qh})"
         R"(\def\qh{\qi\qi}\def\qi{\qj\qj}\def\qj{\qk\qk}\def\qk{\ql\ql}\def\ql{\qm\qm}\def\qm{\qn\qn}\def\qn{\qo\qo})"
         R"(\def\qo{\qp\qp}\def\qp{\qq\qq}\def\qq{\qr\qr}\def\qr{})",
            R"(\qa)", R"(\qa expands too often)"},
        // Each call reads to the end for a delimiter that never comes.
        {R"(\def\qa#1.{x})", repeated(R"(\qa )", 3000), R"(\qa expands too often)"},
    };
    for (const Row &row : rows) {
        TexDefinitions definitions;
        definitions.read(row.definitions);
        const Expansion expansion = expandDefinitions(row.field, definitions);
        EXPECT_EQ(expansion.problem, row.problem) << "from: " << row.definitions;
        EXPECT_EQ(expansion.text, row.field);
    }
}

} // namespace
} // namespace bibsources
