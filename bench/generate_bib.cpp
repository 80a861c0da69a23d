// Writes a deterministic, realistic BibTeX file of N entries to standard output:
// mixed entry types, 1-30 authors with von and jr parts and TeX accents,
// editors and translators, @string macros and # pastes, urls, long abstracts,
// comments, and a few entries stored as Windows-1252 bytes.
//
// Usage: bibsources-bench-generate [--crossref LAYOUT] N [SEED] > refs.bib
//
// LAYOUT adds cross-references to the same entries:
//   children-first  the first 50 entries name parents that are the last 50
//   parents-first   the first 50 entries are parents the last 50 name
//   comment         no cross-reference; the word only in the file's opening comment
//
// The same N and SEED give the same bytes on every machine: the random numbers
// come from our own splitmix64 and our own range mapping, since the standard
// distributions may differ between library versions.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

class Random {
public:
    explicit Random(uint64_t seed)
        : state(seed)
    {
    }

    uint64_t next()
    {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Uniform in [0, n); the modulo bias is far below anything a benchmark sees.
    size_t below(size_t n) { return n == 0 ? 0 : size_t(next() % n); }
    size_t between(size_t low, size_t high) { return low + below(high - low + 1); }
    bool chance(unsigned percent) { return below(100) < percent; }

    template <typename T, size_t N> const T &pick(const std::array<T, N> &items) { return items[below(N)]; }

private:
    uint64_t state;
};

using Words = std::string_view;

// Names as people type them into .bib files: braced accent macros, bare
// macros, initials with ties, and the odd raw UTF-8 letter.
constexpr std::array<Words, 40> firstNames{"John", "Mary", "Wei", "Hiroshi", "Anna", "Peter", "Olga",
    "Rajesh", "Chen", "Laura", "Jos{\\'e}", "Fran{\\c c}ois", "J{\\\"u}rgen", "Zo{\\\"e}", "Bj{\\\"o}rn",
    "Ren{\\'e}", "Ma{\\l}gorzata", "Ji{\\v r}{\\'\\i}", "Andr{\\'e}s", "Ang{\\'e}lique", "J.", "A.~B.",
    "M. K.", "Donald E.", "Barbara", "Leslie", "Edsger W.", "Frances E.", "Tony", "Niklaus", "Søren", "Zoë",
    "Ahmed", "Fatima", "Kenji", "Priya", "Luis", "Ines", "Giovanni", "Ewa"};

constexpr std::array<Words, 40> lastNames{"Smith", "M{\\\"u}ller", "Dvo{\\v r}{\\'a}k", "{\\v S}koda",
    "Garc{\\'\\i}a", "Nguyen", "Kowalski", "Erd{\\H o}s", "Gau{\\ss}", "Johnson", "Tanaka", "Li", "Wang",
    "Brown", "Schr{\\\"o}dinger", "Fa{\\c c}ade", "Ord{\\'o}{\\~n}ez", "Ha{\\v s}ek", "Pe{\\~n}a", "Lamport",
    "Knuth", "Liskov", "Dijkstra", "Hoare", "Wirth", "Allen", "Hopper", "Müller", "Ångström", "Kim", "Patel",
    "Rossi", "Novak", "Jensen", "Okafor", "Ivanov", "Sch{\\\"u}tze", "B{\\'e}zier", "Cr{\\'e}peau",
    "{\\AA}berg"};

constexpr std::array<Words, 7> vonParts{"van", "von", "de", "van der", "de la", "di", "le"};
constexpr std::array<Words, 4> jrParts{"Jr.", "III", "Sr.", "II"};
constexpr std::array<Words, 5> corporateNames{"{IEEE Computer Society}", "{World Health Organization}",
    "{The {R} Core Team}", "{Barnes and Noble}", "{European Committee for Standardization}"};

// The same people again as Windows-1252 bytes, for the entries of files that
// were saved by an old editor.
constexpr std::array<Words, 6> latin1FirstNames{
    "Jos\xE9", "Fran\xE7ois", "J\xFCrgen", "Zo\xEB", "S\xF8ren", "Andr\xE9s"};
constexpr std::array<Words, 6> latin1LastNames{"M\xFCller",
    "Garc\xED"
    "a",
    "Ord\xF3\xF1"
    "ez",
    "\xC5ngstr\xF6m", "Sch\xFCtze", "B\xE9zier"};

constexpr std::array<Words, 96> vocabulary{"analysis", "of", "the", "a", "for", "distributed", "systems",
    "learning", "deep", "networks", "neural", "efficient", "algorithm", "algorithms", "graph", "on", "in",
    "with", "towards", "scalable", "robust", "approach", "model", "models", "data", "large-scale", "parallel",
    "computation", "theory", "and", "evaluation", "study", "empirical", "optimal", "bounds", "lower", "upper",
    "complexity", "quantum", "secure", "protocol", "protocols", "verification", "formal", "semantics", "type",
    "types", "program", "programs", "memory", "cache", "performance", "energy", "wireless", "sensor",
    "adaptive", "online", "stochastic", "gradient", "descent", "convergence", "kernel", "methods", "sparse",
    "matrix", "factorization", "linear", "time", "approximation", "randomized", "estimation", "inference",
    "Bayesian", "causal", "framework", "language", "natural", "processing", "retrieval", "information",
    "database", "query", "queries", "transactions", "consistency", "replication", "fault-tolerant",
    "consensus", "blockchain", "compiler", "optimization", "{DNA}", "{GPU}", "{$O(n \\log n)$}", "{B}-trees",
    "na{\\\"\\i}ve"};

constexpr std::array<Words, 10> latin1Words{"caf\xE9", "na\xEFve", "r\xE9sum\xE9",
    "fa\xE7"
    "ade",
    "\x96", "co\xF6peration", "\x93quoted\x94",
    "\xFC"
    "ber",
    "se\xF1or", "\xA9"};

struct Macro {
    Words name;
    Words text;
};

constexpr std::array<Macro, 12> journalMacros{{
    {"jacm", "Journal of the {ACM}"},
    {"cacm", "Communications of the {ACM}"},
    {"tods", "{ACM} Transactions on Database Systems"},
    {"tpami", "{IEEE} Transactions on Pattern Analysis and Machine Intelligence"},
    {"sicomp", "{SIAM} Journal on Computing"},
    {"jmlr", "Journal of Machine Learning Research"},
    {"toplas", "{ACM} Transactions on Programming Languages and Systems"},
    {"ipl", "Information Processing Letters"},
    {"tcs", "Theoretical Computer Science"},
    {"nature", "Nature"},
    {"zfm", "Zeitschrift f{\\\"u}r Mathematik"},
    {"rsi", "Revue des Sciences de l'Informatique \\& Applications"},
}};

constexpr std::array<Macro, 6> publisherMacros{{
    {"acmpress", "{ACM} Press"},
    {"springer", "Springer"},
    {"elsevier", "Elsevier"},
    {"mitpress", "{MIT} Press"},
    {"oup", "Oxford University Press"},
    {"ieeepress", "{IEEE} Press"},
}};

constexpr std::array<Macro, 5> addressMacros{{
    {"addrny", "New York, NY, USA"},
    {"addrber", "Berlin, Heidelberg"},
    {"addrams", "Amsterdam"},
    {"addrcam", "Cambridge, MA"},
    {"addrzur", "Z{\\\"u}rich"},
}};

constexpr std::array<Macro, 12> monthMacros{{
    {"jan", "January"},
    {"feb", "February"},
    {"mar", "March"},
    {"apr", "April"},
    {"may", "May"},
    {"jun", "June"},
    {"jul", "July"},
    {"aug", "August"},
    {"sep", "September"},
    {"oct", "October"},
    {"nov", "November"},
    {"dec", "December"},
}};

constexpr std::array<Words, 8> conferences{
    "Proceedings of the 12th Symposium on Operating Systems Principles",
    "Proceedings of the International Conference on Machine Learning",
    "Advances in Neural Information Processing Systems", "Proceedings of the {ACM} {SIGMOD} Conference",
    "Actes de la Conf{\\'e}rence Francophone", "Proceedings of the Workshop on Hot Topics \\& Open Problems",
    "Tagungsband der Jahrestagung f{\\\"u}r Informatik", "Proceedings of {STOC}"};

enum class Layout { Plain, ChildrenFirst, ParentsFirst, Comment };

// How many entries at each end of the file the cross-reference layouts use.
constexpr size_t crossrefFamilies = 50;

class Generator {
public:
    Generator(uint64_t seed, std::FILE *out, Layout layout)
        : random(seed)
        , out(out)
        , layout(layout)
    {
        text.reserve(1 << 20);
    }

    void run(size_t entries)
    {
        total = entries;
        header();
        for (size_t i = 0; i < entries; ++i) {
            if (i > 0 && i % 997 == 0) {
                interlude(i);
            }
            entry(i);
            if (text.size() > (1 << 20)) {
                flush();
            }
        }
        flush();
    }

private:
    Random random;
    std::FILE *out;
    Layout layout;
    size_t total = 0;
    std::string text;
    bool latin1 = false; // the entry being written is Windows-1252

    void flush()
    {
        std::fwrite(text.data(), 1, text.size(), out);
        text.clear();
    }

    void put(std::string_view s) { text.append(s); }

    void header()
    {
        put("% Generated test bibliography. Text outside entries is ignored by\n"
            "% BibTeX, so these lines are a comment as far as any parser cares.\n");
        if (layout == Layout::Comment) {
            put("% No entry of this file has a crossref field.\n");
        }
        put("\n");
        put("@preamble{\"\\newcommand{\\noopsort}[1]{}\"}\n\n");
        for (const Macro &m : journalMacros) {
            macro(m);
        }
        for (const Macro &m : publisherMacros) {
            macro(m);
        }
        for (const Macro &m : addressMacros) {
            macro(m);
        }
        // BibTeX styles predefine the month names but btparse does not; files
        // meant for more than one tool define them, as this one does.
        for (const Macro &m : monthMacros) {
            macro(m);
        }
        put("\n");
    }

    void macro(const Macro &m)
    {
        put("@string{");
        put(m.name);
        put(" = \"");
        put(m.text);
        put("\"}\n");
    }

    // Now and then a comment entry, a free-text comment or a late macro, as
    // long files collected over years have them.
    void interlude(size_t index)
    {
        switch (random.below(3)) {
        case 0:
            put("@comment{Entries below were imported from an older list;\n"
                "  check their page ranges before submitting.}\n\n");
            break;
        case 1:
            put("% ---- section ");
            put(std::to_string(index / 997));
            put(" ----\n\n");
            break;
        default:
            put("@string{local");
            put(std::to_string(index));
            put(" = \"Technical Report Series \" # \"No.~");
            put(std::to_string(index));
            put("\"}\n\n");
            break;
        }
    }

    Words lastName()
    {
        return latin1 && random.chance(50) ? random.pick(latin1LastNames) : random.pick(lastNames);
    }

    Words firstName()
    {
        return latin1 && random.chance(50) ? random.pick(latin1FirstNames) : random.pick(firstNames);
    }

    void person()
    {
        const size_t form = random.below(100);
        if (form < 3) {
            put(random.pick(corporateNames));
        } else if (form < 45) {
            put(firstName()), put(" "), put(lastName());
        } else if (form < 80) {
            put(lastName()), put(", "), put(firstName());
        } else if (form < 88) {
            put(firstName()), put(" "), put(random.pick(vonParts)), put(" "), put(lastName());
        } else if (form < 94) {
            put(random.pick(vonParts)), put(" "), put(lastName()), put(", "), put(firstName());
        } else if (form < 97) {
            put(lastName()), put(", "), put(random.pick(jrParts)), put(", "), put(firstName());
        } else {
            put(random.pick(vonParts)), put(" "), put(lastName()), put(", ");
            put(random.pick(jrParts)), put(", "), put(firstName());
        }
    }

    // Most papers have a handful of authors; a few have dozens.
    size_t authorCount()
    {
        const size_t roll = random.below(100);
        if (roll < 30) {
            return 1 + random.below(2);
        }
        if (roll < 85) {
            return 2 + random.below(5);
        }
        if (roll < 97) {
            return 6 + random.below(10);
        }
        return 15 + random.below(16);
    }

    void people(size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            if (i > 0) {
                put(i % 3 == 2 ? "\n        and " : " and ");
            }
            person();
        }
        if (random.chance(3)) {
            put(" and others");
        }
    }

    void word()
    {
        if (latin1 && random.chance(15)) {
            put(random.pick(latin1Words));
        } else {
            put(random.pick(vocabulary));
        }
    }

    void words(size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            if (i > 0) {
                put(" ");
            }
            word();
        }
    }

    void title()
    {
        words(random.between(4, 14));
        if (random.chance(10)) {
            put(": a {C}ase {S}tudy");
        }
        if (random.chance(5)) {
            put(" \\& beyond");
        }
    }

    // Abstracts are the bulk of most real files: several sentences, wrapped.
    void abstract()
    {
        const size_t sentences = random.chance(10) ? random.between(15, 40) : random.between(2, 8);
        for (size_t s = 0; s < sentences; ++s) {
            if (s > 0) {
                put(s % 3 == 0 ? "\n    " : " ");
            }
            const size_t length = random.between(8, 25);
            words(length);
            if (random.chance(5)) {
                put(" with $\\alpha = 0.05$ and 95\\% confidence");
            }
            put(".");
        }
    }

    void field(std::string_view name)
    {
        put(",\n  ");
        put(name);
        put(" = ");
    }

    void braced(std::string_view name, auto &&body)
    {
        field(name);
        put("{");
        body();
        put("}");
    }

    void quoted(std::string_view name, auto &&body)
    {
        field(name);
        put("\"");
        body();
        put("\"");
    }

    void delimited(std::string_view name, auto &&body)
    {
        if (random.chance(80)) {
            braced(name, body);
        } else {
            quoted(name, body);
        }
    }

    void number(std::string_view name, size_t value)
    {
        field(name);
        put(std::to_string(value));
    }

    void url(size_t index)
    {
        braced("url", [&] {
            switch (random.below(4)) {
            case 0:
                put("https://doi.org/10.1145/");
                put(std::to_string(3000000 + index));
                break;
            case 1:
                put("http://www.example.org/~user/papers/paper_");
                put(std::to_string(index));
                put(".pdf");
                break;
            case 2:
                put("https://example.com/search?q=paper&id=");
                put(std::to_string(index));
                put("&lang=en#section-2");
                break;
            default:
                put("https://arxiv.org/abs/");
                put(std::to_string(1000 + index % 9000));
                put(".");
                put(std::to_string(10000 + index % 90000));
                break;
            }
        });
    }

    void container(std::string_view type)
    {
        if (type == "article") {
            field("journal");
            const Macro &journal = random.pick(journalMacros);
            put(journal.name);
            if (random.chance(10)) {
                put(" # \" (Special Issue)\"");
            }
        } else if (type == "inproceedings" || type == "incollection" || type == "inbook") {
            delimited("booktitle", [&] { put(random.pick(conferences)); });
        }
    }

    // Which of the families at the ends of the file an entry is the parent
    // or the child of, in the cross-reference layouts.
    std::optional<size_t> familyAtTop(size_t index) const
    {
        return index < crossrefFamilies ? std::optional(index) : std::nullopt;
    }

    std::optional<size_t> familyAtEnd(size_t index) const
    {
        return total >= 2 * crossrefFamilies && index >= total - crossrefFamilies
            ? std::optional(index - (total - crossrefFamilies))
            : std::nullopt;
    }

    std::optional<size_t> parentFamily(size_t index) const
    {
        return layout == Layout::ParentsFirst ? familyAtTop(index)
            : layout == Layout::ChildrenFirst ? familyAtEnd(index)
                                              : std::nullopt;
    }

    std::optional<size_t> childFamily(size_t index) const
    {
        return layout == Layout::ChildrenFirst ? familyAtTop(index)
            : layout == Layout::ParentsFirst   ? familyAtEnd(index)
                                               : std::nullopt;
    }

    void entry(size_t index)
    {
        static constexpr std::array<Words, 14> types{"article", "article", "article", "article",
            "inproceedings", "inproceedings", "inproceedings", "book", "incollection", "phdthesis",
            "techreport", "misc", "mastersthesis", "inbook"};
        static constexpr std::array<Words, 4> rareTypes{"booklet", "proceedings", "unpublished", "manual"};
        const Words type = random.chance(5) ? random.pick(rareTypes) : random.pick(types);
        latin1 = random.chance(3);
        const size_t year = random.between(1950, 2024);

        // Entry types are case-insensitive to the parser; some files capitalise them.
        put("@");
        if (random.chance(3)) {
            text += char(type[0] - 'a' + 'A');
            put(type.substr(1));
        } else {
            put(type);
        }
        if (const std::optional<size_t> family = parentFamily(index)) {
            put("{parent");
            put(std::to_string(*family));
        } else {
            put("{key");
            put(std::to_string(index));
            put(":");
            put(std::to_string(year));
        }

        if (type != "proceedings") {
            delimited("author", [&] { people(authorCount()); });
        }
        if (type == "incollection" || type == "proceedings" || random.chance(4)) {
            braced("editor", [&] { people(random.between(1, 4)); });
        }
        if (random.chance(2)) {
            braced("translator", [&] { people(1); });
        }
        delimited("title", [&] { title(); });
        container(type);
        if (type == "book" || type == "inbook" || type == "incollection" || random.chance(20)) {
            field("publisher");
            put(random.pick(publisherMacros).name);
            if (random.chance(10)) {
                put(" # {-Verlag}");
            }
            if (random.chance(60)) {
                field("address");
                put(random.pick(addressMacros).name);
            }
        }
        if (type == "phdthesis" || type == "mastersthesis") {
            braced("school", [&] { put("Universit{\\\"a}t "), put(lastName()); });
        }
        if (type == "techreport") {
            braced("institution", [&] { put("Institute of "), words(2); });
        }
        if (type == "article" || type == "inproceedings" || random.chance(10)) {
            braced("pages", [&] {
                const size_t first = random.between(1, 900);
                put(std::to_string(first)), put("--"), put(std::to_string(first + random.between(1, 40)));
            });
        }
        if (type == "article") {
            number("volume", random.between(1, 80));
            if (random.chance(70)) {
                number("number", random.between(1, 12));
            }
        }
        if (random.chance(60)) {
            field("month");
            put(random.pick(monthMacros).name);
        }
        if (random.chance(85)) {
            number("year", year);
        } else {
            quoted("year", [&] { put(std::to_string(year)); });
        }
        if (type == "book" && random.chance(30)) {
            braced("edition", [&] { put(random.chance(50) ? "Second" : "3rd"); });
        }
        if (random.chance(40)) {
            url(index);
            if (random.chance(30)) {
                braced("lastchecked", [&] { put(std::to_string(random.between(2010, 2024))); });
            }
        }
        if (random.chance(50)) {
            braced("doi", [&] { put("10.1000/xyz"), put(std::to_string(index)); });
        }
        if (random.chance(60)) {
            braced("abstract", [&] { abstract(); });
        }
        if (random.chance(30)) {
            braced("keywords", [&] { words(random.between(2, 6)); });
        }
        if (random.chance(10)) {
            braced(
                "note", [&] { put("Extended version of a talk given in "), put(std::to_string(year - 1)); });
        }
        if (const std::optional<size_t> family = childFamily(index)) {
            braced("crossref", [&] { put("parent"), put(std::to_string(*family)); });
        }
        put("\n}\n\n");
    }
};

} // namespace

std::optional<Layout> layoutNamed(std::string_view name)
{
    static constexpr std::pair<std::string_view, Layout> layouts[]
        = {{"children-first", Layout::ChildrenFirst}, {"parents-first", Layout::ParentsFirst},
            {"comment", Layout::Comment}};
    for (const auto &[layoutName, layout] : layouts) {
        if (name == layoutName) {
            return layout;
        }
    }
    return std::nullopt;
}

int main(int argc, char **argv)
{
    std::optional<Layout> layout = Layout::Plain;
    if (argc >= 3 && std::string_view(argv[1]) == "--crossref") {
        layout = layoutNamed(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc < 2 || argc > 3 || !layout) {
        std::fprintf(stderr,
            "usage: bibsources-bench-generate [--crossref children-first|parents-first|comment] N [SEED] "
            "> FILE.bib\n");
        return 2;
    }
    const unsigned long long entries = std::strtoull(argv[1], nullptr, 10);
    const unsigned long long seed = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 20240607;
    Generator(seed, stdout, *layout).run(entries);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
