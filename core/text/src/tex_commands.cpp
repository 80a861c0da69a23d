#include "tex_commands.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace bibsources {

namespace {

struct Row {
    std::string_view name;
    std::string_view text;
};

// Every table is sorted by name (byte order) for a binary search; the
// static_asserts keep it so when a row is added out of place.
constexpr Row textCommands[] = {
    {"AA", "Å"},
    {"AE", "Æ"},
    {"AmS", "AMS"},
    {"AmSLaTeX", "AMS-LaTeX"},
    {"AmSTeX", "AMS-TeX"},
    {"BibTeX", "BibTeX"},
    {"ConTeXt", "ConTeXt"},
    {"DH", "Ð"},
    {"DJ", "Đ"},
    {"KOMAScript", "KOMA-Script"},
    {"L", "Ł"},
    {"LaTeX", "LaTeX"},
    {"LaTeXe", "LaTeX2ε"},
    {"LuaLaTeX", "LuaLaTeX"},
    {"LuaTeX", "LuaTeX"},
    {"METAFONT", "METAFONT"},
    {"METAPOST", "METAPOST"},
    {"MF", "METAFONT"},
    {"MP", "METAPOST"},
    {"NG", "Ŋ"},
    {"O", "Ø"},
    {"OE", "Œ"},
    {"P", "¶"},
    {"PiCTeX", "PiCTeX"},
    {"S", "§"},
    {"SS", "SS"},
    {"SliTeX", "SliTeX"},
    {"TH", "Þ"},
    {"TeX", "TeX"},
    {"XeLaTeX", "XeLaTeX"},
    {"XeTeX", "XeTeX"},
    {"aa", "å"},
    {"addabbrvspace", " "},
    {"addabthinspace", " "},
    {"addcolon", ":"},
    {"addcomma", ","},
    {"adddot", "."},
    {"adddotspace", ". "},
    {"addexclam", "!"},
    {"addhighpenspace", " "},
    {"addhpthinspace", " "},
    {"addlowpenspace", " "},
    {"addlpthinspace", " "},
    {"addnbspace", " "},
    {"addnbthinspace", " "},
    {"addperiod", "."},
    {"addquestion", "?"},
    {"addsemicolon", ";"},
    {"addslash", "/"},
    {"addspace", " "},
    {"addthinspace", " "},
    {"ae", "æ"},
    {"bibclosebracket", "]"},
    {"bibcloseparen", ")"},
    {"bibdatedash", "–"},
    {"bibdaterangesep", "–"},
    {"bibellipsis", "[…]"},
    {"bibopenbracket", "["},
    {"bibopenparen", "("},
    {"bibrangedash", "–"},
    {"bibrangessep", "; "},
    {"break", " "},
    {"copyright", "©"},
    {"dag", "†"},
    {"ddag", "‡"},
    {"dh", "ð"},
    {"dj", "đ"},
    {"dots", "…"},
    {"eTeX", "ε-TeX"},
    {"emdash", "—"},
    {"endash", "–"},
    {"enspace", " "},
    {"euro", "€"},
    {"guillemotleft", "«"},
    {"guillemotright", "»"},
    {"guilsinglleft", "‹"},
    {"guilsinglright", "›"},
    {"hyphen", "-"},
    {"i", "ı"},
    {"item", "• "},
    {"j", "ȷ"},
    {"l", "ł"},
    {"ldots", "…"},
    {"linebreak", " "},
    {"lq", "‘"},
    {"nbhyphen", "‑"},
    {"newline", " "},
    {"ng", "ŋ"},
    {"nobreakspace", " "},
    {"o", "ø"},
    {"oe", "œ"},
    {"par", " "},
    {"pdfLaTeX", "pdfLaTeX"},
    {"pdfTeX", "pdfTeX"},
    {"pounds", "£"},
    {"psq", " sq."},
    {"psqq", " sqq."},
    {"qquad", "  "},
    {"quad", " "},
    {"quotedblbase", "„"},
    {"quotesinglbase", "‚"},
    {"rq", "’"},
    {"slash", "/"},
    {"space", " "},
    {"ss", "ß"},
    {"textasciicircum", "^"},
    {"textasciigrave", "`"},
    {"textasciitilde", "~"},
    {"textbackslash", "\\"},
    {"textbar", "|"},
    {"textbraceleft", "{"},
    {"textbraceright", "}"},
    {"textbullet", "•"},
    {"textcelsius", "℃"},
    {"textcent", "¢"},
    {"textcopyright", "©"},
    {"textdagger", "†"},
    {"textdaggerdbl", "‡"},
    {"textdegree", "°"},
    {"textdollar", "$"},
    {"textellipsis", "…"},
    {"textemdash", "—"},
    {"textendash", "–"},
    {"texteuro", "€"},
    {"textexclamdown", "¡"},
    {"textgreater", ">"},
    {"textlangle", "⟨"},
    {"textless", "<"},
    {"textminus", "−"},
    {"textmu", "µ"},
    {"textnumero", "№"},
    {"textonehalf", "½"},
    {"textonequarter", "¼"},
    {"textordfeminine", "ª"},
    {"textordmasculine", "º"},
    {"textparagraph", "¶"},
    {"textperiodcentered", "·"},
    {"textperthousand", "‰"},
    {"textpm", "±"},
    {"textquestiondown", "¿"},
    {"textquotedbl", "\""},
    {"textquotedblbase", "„"},
    {"textquotedblleft", "“"},
    {"textquotedblright", "”"},
    {"textquoteleft", "‘"},
    {"textquoteright", "’"},
    {"textquotesingle", "'"},
    {"textrangle", "⟩"},
    {"textregistered", "®"},
    {"textsection", "§"},
    {"textslash", "/"},
    {"textsterling", "£"},
    {"textthinspace", " "},
    {"textthreequarters", "¾"},
    {"texttimes", "×"},
    {"texttrademark", "™"},
    {"textunderscore", "_"},
    {"textvisiblespace", "␣"},
    {"th", "þ"},
    {"thinspace", " "},
};

constexpr Row accentBases[] = {
    {"AA", "Å"},
    {"AE", "Æ"},
    {"DH", "Ð"},
    {"DJ", "Đ"},
    {"L", "Ł"},
    {"NG", "Ŋ"},
    {"O", "Ø"},
    {"OE", "Œ"},
    {"SS", "SS"},
    {"TH", "Þ"},
    {"aa", "å"},
    {"ae", "æ"},
    {"dh", "ð"},
    {"dj", "đ"},
    {"i", "i"},
    {"j", "j"},
    {"l", "ł"},
    {"ng", "ŋ"},
    {"o", "ø"},
    {"oe", "œ"},
    {"ss", "ß"},
    {"th", "þ"},
};

constexpr Row mathCommands[] = {
    {"Box", "□"},
    {"Delta", "Δ"},
    {"Gamma", "Γ"},
    {"Im", "ℑ"},
    {"Lambda", "Λ"},
    {"Leftarrow", "⇐"},
    {"Leftrightarrow", "⇔"},
    {"Longrightarrow", "⟹"},
    {"Omega", "Ω"},
    {"Phi", "Φ"},
    {"Pi", "Π"},
    {"Pr", "Pr"},
    {"Psi", "Ψ"},
    {"Re", "ℜ"},
    {"Rightarrow", "⇒"},
    {"Sigma", "Σ"},
    {"Theta", "Θ"},
    {"Upsilon", "Υ"},
    {"Vert", "‖"},
    {"Xi", "Ξ"},
    {"aleph", "ℵ"},
    {"alpha", "α"},
    {"angle", "∠"},
    {"approx", "≈"},
    {"arccos", "arccos"},
    {"arcsin", "arcsin"},
    {"arctan", "arctan"},
    {"arg", "arg"},
    {"ast", "∗"},
    {"backslash", "\\"},
    {"beta", "β"},
    {"bot", "⊥"},
    {"bullet", "•"},
    {"cap", "∩"},
    {"cdot", "·"},
    {"cdotp", "·"},
    {"cdots", "⋯"},
    {"checkmark", "✓"},
    {"chi", "χ"},
    {"circ", "∘"},
    {"colon", ":"},
    {"cong", "≅"},
    {"cos", "cos"},
    {"cosh", "cosh"},
    {"cot", "cot"},
    {"csc", "csc"},
    {"cup", "∪"},
    {"dagger", "†"},
    {"deg", "deg"},
    {"degree", "°"},
    {"delta", "δ"},
    {"det", "det"},
    {"diamond", "⋄"},
    {"dim", "dim"},
    {"div", "÷"},
    {"dots", "…"},
    {"downarrow", "↓"},
    {"ell", "ℓ"},
    {"emptyset", "∅"},
    {"epsilon", "ϵ"},
    {"equiv", "≡"},
    {"eta", "η"},
    {"exists", "∃"},
    {"exp", "exp"},
    {"forall", "∀"},
    {"gamma", "γ"},
    {"gcd", "gcd"},
    {"ge", "≥"},
    {"geq", "≥"},
    {"geqslant", "⩾"},
    {"gets", "←"},
    {"gg", "≫"},
    {"gtrsim", "≳"},
    {"hbar", "ℏ"},
    {"hom", "hom"},
    {"hookleftarrow", "↩"},
    {"hookrightarrow", "↪"},
    {"iff", "⟺"},
    {"implies", "⟹"},
    {"in", "∈"},
    {"inf", "inf"},
    {"infty", "∞"},
    {"int", "∫"},
    {"iota", "ι"},
    {"kappa", "κ"},
    {"ker", "ker"},
    {"lambda", "λ"},
    {"land", "∧"},
    {"langle", "⟨"},
    {"lbrace", "{"},
    {"lceil", "⌈"},
    {"ldotp", "."},
    {"ldots", "…"},
    {"le", "≤"},
    {"leadsto", "⇝"},
    {"leftarrow", "←"},
    {"leftrightarrow", "↔"},
    {"leq", "≤"},
    {"leqslant", "⩽"},
    {"lesssim", "≲"},
    {"lfloor", "⌊"},
    {"lg", "lg"},
    {"lim", "lim"},
    {"ll", "≪"},
    {"ln", "ln"},
    {"lnot", "¬"},
    {"log", "log"},
    {"longleftarrow", "⟵"},
    {"longrightarrow", "⟶"},
    {"lor", "∨"},
    {"mapsto", "↦"},
    {"max", "max"},
    {"mid", "∣"},
    {"min", "min"},
    {"models", "⊨"},
    {"mp", "∓"},
    {"mu", "μ"},
    {"nabla", "∇"},
    {"ne", "≠"},
    {"nearrow", "↗"},
    {"neg", "¬"},
    {"neq", "≠"},
    {"ni", "∋"},
    {"notin", "∉"},
    {"nu", "ν"},
    {"oint", "∮"},
    {"omega", "ω"},
    {"oplus", "⊕"},
    {"otimes", "⊗"},
    {"parallel", "∥"},
    {"partial", "∂"},
    {"perp", "⊥"},
    {"phi", "ϕ"},
    {"pi", "π"},
    {"pm", "±"},
    {"pounds", "£"},
    {"prec", "≺"},
    {"preceq", "⪯"},
    {"prime", "′"},
    {"prod", "∏"},
    {"propto", "∝"},
    {"psi", "ψ"},
    {"rangle", "⟩"},
    {"rbrace", "}"},
    {"rceil", "⌉"},
    {"rfloor", "⌋"},
    {"rho", "ρ"},
    {"rightarrow", "→"},
    {"searrow", "↘"},
    {"sec", "sec"},
    {"setminus", "∖"},
    {"sigma", "σ"},
    {"sim", "∼"},
    {"simeq", "≃"},
    {"sin", "sin"},
    {"sinh", "sinh"},
    {"star", "⋆"},
    {"subset", "⊂"},
    {"subseteq", "⊆"},
    {"succ", "≻"},
    {"succeq", "⪰"},
    {"sum", "∑"},
    {"sup", "sup"},
    {"supset", "⊃"},
    {"supseteq", "⊇"},
    {"surd", "√"},
    {"tan", "tan"},
    {"tanh", "tanh"},
    {"tau", "τ"},
    {"theta", "θ"},
    {"times", "×"},
    {"to", "→"},
    {"top", "⊤"},
    {"triangle", "△"},
    {"uparrow", "↑"},
    {"upsilon", "υ"},
    {"varepsilon", "ε"},
    {"varnothing", "∅"},
    {"varphi", "φ"},
    {"varpi", "ϖ"},
    {"varrho", "ϱ"},
    {"varsigma", "ς"},
    {"vartheta", "ϑ"},
    {"vdash", "⊢"},
    {"vdots", "⋮"},
    {"vee", "∨"},
    {"vert", "|"},
    {"wedge", "∧"},
    {"xi", "ξ"},
    {"zeta", "ζ"},
};

constexpr std::string_view fontCommands[] = {
    "Huge",
    "LARGE",
    "Large",
    "MakeLowercase",
    "MakeSentenceCase",
    "MakeTextLowercase",
    "MakeTextUppercase",
    "MakeUppercase",
    "NoCaseChange",
    "allowbreak",
    "bf",
    "bfseries",
    "bibnocaseprotect",
    "bibsentence",
    "bigskip",
    "bm",
    "boldsymbol",
    "clap",
    "em",
    "emph",
    "expandafter",
    "fbox",
    "footnotesize",
    "framebox",
    "frenchspacing",
    "hbox",
    "hfil",
    "hfill",
    "hologo",
    "hss",
    "huge",
    "hyphenate",
    "ignorespaces",
    "indent",
    "isdot",
    "it",
    "itshape",
    "large",
    "leavevmode",
    "llap",
    "lowercase",
    "makebox",
    "mathbb",
    "mathbf",
    "mathcal",
    "mathfrak",
    "mathit",
    "mathnormal",
    "mathrm",
    "mathscr",
    "mathsf",
    "mathtt",
    "mbox",
    "md",
    "mdseries",
    "medskip",
    "midsentence",
    "mkbibacro",
    "mkbibbold",
    "mkbibemph",
    "mkbibitalic",
    "mkbibnamefamily",
    "mkbibnamegiven",
    "newblock",
    "nobreak",
    "nocorr",
    "noexpand",
    "noindent",
    "nonfrenchspacing",
    "nopunct",
    "normalfont",
    "normalsize",
    "null",
    "protect",
    "relax",
    "rlap",
    "rm",
    "rmfamily",
    "sc",
    "scriptsize",
    "scshape",
    "selectfont",
    "sf",
    "sffamily",
    "sl",
    "slshape",
    "small",
    "smallskip",
    "smash",
    "strut",
    "text",
    "textbf",
    "textbfit",
    "textit",
    "textmd",
    "textnormal",
    "textrm",
    "textsc",
    "textsf",
    "textsl",
    "textsuperior",
    "texttt",
    "textup",
    "tiny",
    "tt",
    "ttfamily",
    "uline",
    "underline",
    "unkern",
    "unpenalty",
    "unskip",
    "unspace",
    "up",
    "uppercase",
    "upshape",
    "vbox",
    "vfil",
    "vfill",
    "vtop",
};

struct AccentRow {
    std::string_view name;
    std::u32string_view marks; // put on the letter in this order
    std::string_view spacing;
};

// The spacing forms are what TeX prints for an accent on an empty group:
// "\~{}" in a URL is a tilde.
constexpr AccentRow accentRows[] = {
    {"\"", U"\u0308", "¨"},
    {"'", U"\u0301", "´"},
    {".", U"\u0307", "˙"},
    {"=", U"\u0304", "¯"},
    {"H", U"\u030B", "˝"},
    {"^", U"\u0302", "^"},
    {"`", U"\u0300", "`"},
    {"b", U"\u0331", "ˍ"},
    {"c", U"\u0327", "¸"},
    {"d", U"\u0323", "."},
    {"k", U"\u0328", "˛"},
    {"r", U"\u030A", "˚"},
    {"t", U"\u0361", "⁀"},
    {"u", U"\u0306", "˘"},
    {"v", U"\u030C", "ˇ"},
    {"~", U"\u0303", "~"},
};

// tipa's accents, which transliterations of Indic and other scripts use.
// Their spacing forms are the marks on a no-break space.
constexpr AccentRow wordAccentRows[] = {
    {"textacutemacron", U"\u0304\u0301", "\u00A0\u0304\u0301"},
    {"textdoublegrave", U"\u030F", "\u00A0\u030F"},
    {"textgravemacron", U"\u0304\u0300", "\u00A0\u0304\u0300"},
    {"textsubbar", U"\u0331", "\u00A0\u0331"},
    {"textsubdot", U"\u0323", "\u00A0\u0323"},
    {"textsubring", U"\u0325", "\u00A0\u0325"},
    {"textsubtilde", U"\u0330", "\u00A0\u0330"},
    {"textsubumlaut", U"\u0324", "\u00A0\u0324"},
    {"textsubwedge", U"\u032C", "\u00A0\u032C"},
    {"textsyllabic", U"\u0329", "\u00A0\u0329"},
};

constexpr std::string_view linkCommands[] = {"doi", "nolinkurl", "path", "url"};

struct ShapeRow {
    std::string_view name;
    ArgumentShape shape;
};

// Commands with arguments that print nothing: sizes, colours, labels, keys.
constexpr ShapeRow shapeRows[] = {
    {"addvspace", {1, false, 0}},
    {"begin", {1, false, 0}},
    {"color", {1, false, 0}},
    {"colorbox", {1, true, 0}},
    {"end", {1, false, 0}},
    {"enlargethispage", {1, false, 0}},
    {"fcolorbox", {2, true, 0}},
    {"foreignlanguage", {1, true, 0}},
    {"glossary", {1, false, 0}},
    {"hphantom", {1, false, 0}},
    {"hspace", {1, false, 0}},
    {"hyphenation", {1, false, 0}},
    {"index", {1, false, 0}},
    {"label", {1, false, 0}},
    {"nocite", {1, false, 0}},
    {"pagecolor", {1, false, 0}},
    {"parbox", {1, true, 0}},
    {"phantom", {1, false, 0}},
    {"raisebox", {1, true, 0}},
    {"rule", {2, false, 0}},
    {"texorpdfstring", {0, true, 1}},
    {"textcolor", {1, true, 0}},
    {"vphantom", {1, false, 0}},
    {"vspace", {1, false, 0}},
};

struct PrimitiveRow {
    std::string_view name;
    Primitive kind;
};

constexpr PrimitiveRow primitiveRows[] = {
    {"accent", Primitive::Accent},
    {"hbox", Primitive::Box},
    {"hskip", Primitive::Glue},
    {"kern", Primitive::Dimension},
    {"lower", Primitive::Dimension},
    {"mkern", Primitive::Dimension},
    {"moveleft", Primitive::Dimension},
    {"moveright", Primitive::Dimension},
    {"mskip", Primitive::Glue},
    {"penalty", Primitive::Number},
    {"raise", Primitive::Dimension},
    {"vbox", Primitive::Box},
    {"vskip", Primitive::Glue},
};

// The commands the reader takes apart by name rather than through a table.
constexpr std::string_view readerCommands[] = {
    "SortNoop",
    "enquote",
    "ensuremath",
    "href",
    "mkbibbrackets",
    "mkbibparens",
    "mkbibquote",
    "mkbibsubscript",
    "mkbibsuperscript",
    "noopsort",
    "sortnoop",
    "textsubscript",
    "textsuperscript",
};

constexpr auto byName = [](const auto &row) { return row.name; };

static_assert(std::ranges::is_sorted(textCommands, {}, byName));
static_assert(std::ranges::is_sorted(accentBases, {}, byName));
static_assert(std::ranges::is_sorted(mathCommands, {}, byName));
static_assert(std::ranges::all_of(accentRows, [](const AccentRow &row) { return row.name.size() == 1; }));
static_assert(std::ranges::is_sorted(wordAccentRows, {}, byName));
static_assert(std::ranges::is_sorted(fontCommands));
static_assert(std::ranges::is_sorted(linkCommands));
static_assert(std::ranges::is_sorted(readerCommands));
static_assert(std::ranges::is_sorted(shapeRows, {}, byName));
static_assert(std::ranges::is_sorted(primitiveRows, {}, byName));

template <typename Table> auto findRow(const Table &table, std::string_view name)
{
    const auto row = std::ranges::lower_bound(table, name, {}, byName);
    return row != std::end(table) && row->name == name ? row : std::end(table);
}

template <typename Table> std::string_view lookUp(const Table &table, std::string_view name)
{
    const auto row = findRow(table, name);
    return row == std::end(table) ? std::string_view() : row->text;
}

} // namespace

namespace {

// An accent command named by one character is found by a short scan, not
// a search: it runs for every \' and \" of a file. tipa's are searched.
const AccentRow *findAccent(std::string_view name)
{
    if (name.size() != 1) {
        const auto row = findRow(wordAccentRows, name);
        return row == std::end(wordAccentRows) ? nullptr : row;
    }
    for (const AccentRow &row : accentRows) {
        if (row.name[0] == name[0]) {
            return &row;
        }
    }
    return nullptr;
}

// The raised or lowered form of c: forms[i] for the i-th of `characters`,
// nothing for any other character.
std::string_view scriptForm(char c, std::string_view characters, std::span<const std::string_view> forms)
{
    const size_t at = characters.find(c);
    return at == std::string_view::npos ? std::string_view() : forms[at];
}

} // namespace

std::u32string_view accentMarks(std::string_view name)
{
    const AccentRow *row = findAccent(name);
    return row ? row->marks : std::u32string_view();
}

std::string_view spacingAccent(std::string_view name)
{
    const AccentRow *row = findAccent(name);
    return row ? row->spacing : std::string_view();
}

std::string_view textCommand(std::string_view name)
{
    return lookUp(textCommands, name);
}

std::string_view accentBase(std::string_view name)
{
    return lookUp(accentBases, name);
}

bool isFontCommand(std::string_view name)
{
    return std::ranges::binary_search(fontCommands, name);
}

bool isLinkCommand(std::string_view name)
{
    return std::ranges::binary_search(linkCommands, name);
}

std::optional<ArgumentShape> argumentShape(std::string_view name)
{
    const auto row = findRow(shapeRows, name);
    return row == std::end(shapeRows) ? std::nullopt : std::optional<ArgumentShape>(row->shape);
}

std::optional<Primitive> primitive(std::string_view name)
{
    const auto row = findRow(primitiveRows, name);
    return row == std::end(primitiveRows) ? std::nullopt : std::optional<Primitive>(row->kind);
}

std::string_view numberedAccent(int position)
{
    // Where the OT1 font encoding, TeX's own, has each accent.
    static constexpr std::pair<int, std::string_view> accents[] = {{18, "`"}, {19, "'"}, {20, "v"}, {21, "u"},
        {22, "="}, {23, "r"}, {24, "c"}, {94, "^"}, {95, "."}, {125, "H"}, {126, "~"}, {127, "\""}};
    for (const auto &[at, name] : accents) {
        if (at == position) {
            return name;
        }
    }
    return {};
}

bool isKnownCommand(std::string_view name)
{
    return !accentMarks(name).empty() || !textCommand(name).empty() || isFontCommand(name)
        || isLinkCommand(name) || !mathCommand(name).empty()
        || std::ranges::binary_search(readerCommands, name) || argumentShape(name) || primitive(name);
}

std::string_view mathCommand(std::string_view name)
{
    return lookUp(mathCommands, name);
}

std::string_view superscript(char c)
{
    static constexpr std::string_view forms[]
        = {"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹", "⁺", "⁻", "⁼", "⁽", "⁾", "ⁿ", "ⁱ"};
    return scriptForm(c, "0123456789+-=()ni", forms);
}

std::string_view subscript(char c)
{
    static constexpr std::string_view forms[]
        = {"₀", "₁", "₂", "₃", "₄", "₅", "₆", "₇", "₈", "₉", "₊", "₋", "₌", "₍", "₎"};
    return scriptForm(c, "0123456789+-=()", forms);
}

} // namespace bibsources
