#include "../fuzz/fuzz_check.h"
#include "accent_table.h"
#include "entry.h"
#include "field_table.h"
#include "names.h"
#include "record.h"
#include "reference_text.h"
#include "test_support.h"
#include "tex_text.h"
#include "text.h"
#include "xml.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {
namespace {

// The elements one part of a person's name makes, as a string of their own.
std::string namePart(const Person &person, NamePart part)
{
    std::string out;
    appendNamePart(out, person, part);
    return out;
}

using testing::cleanupRowByRow;
using testing::utf8Of;
using testing::xmlContent;

TEST(DecodeParserText, Decodes)
{
    const std::pair<std::string, std::string> rows[] = {
        {"Caf\u00E9 \u20AC \U0001F600", "Caf\u00E9 \u20AC \U0001F600"}, // valid UTF-8 kept
        {"Caf\xE9", "Caf\u00E9"}, // Latin-1
        {"\x80\x9F\x93\x96", "\u20AC\u0178\u201C\u2013"}, // Windows-1252, not C1 controls
        {"\x81\x8D\x8F\x90\x9D", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"}, // undefined in 1252
        // One invalid byte makes the whole string Windows-1252, valid pairs included.
        {"\xC3\xA9 \xE9", "\u00C3\u00A9 \u00E9"},
        {"\xC0\xAF", "\u00C0\u00AF"}, // overlong "/"
        {"\xE0\x80\xAF", "\u00E0\u20AC\u00AF"}, // overlong, three bytes
        {"\xED\xA0\x80", "\u00ED\u00A0\u20AC"}, // a surrogate
        {"\xF4\x90\x80\x80", "\u00F4\uFFFD\u20AC\u20AC"}, // above U+10FFFF
        {"\xC3", "\u00C3"}, // cut off
        // Runs of ASCII are checked eight bytes at a time; what follows them still counts.
        {"eight bytes then \xE9", "eight bytes then \u00E9"},
        {"eight by\xC3\xA9", "eight by\u00E9"},
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
        EXPECT_EQ(texToText(row.key), utf8Of(row.letter));
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

// Tokens joined by one space, a lone last name and a middle name split off
// are in the golden names document; these are the rules it does not show.
TEST(NamePart, WritesOnlyWhatTheTokensHold)
{
    struct Row {
        Person person;
        NamePart part;
        std::string text;
    };
    const std::string longToken(100000, 'x'); // no length limit
    const Row rows[] = {{{{}, {"Jane"}}, NamePart::Last, ""},
        {{{""}, {}}, NamePart::Last, "<b:Last></b:Last>\n"}, // an empty token is still an element
        {{{longToken}, {}}, NamePart::Last, "<b:Last>" + longToken + "</b:Last>\n"}};
    for (const Row &row : rows) {
        EXPECT_EQ(namePart(row.person, row.part), row.text) << row.text.substr(0, 40);
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
    const std::vector<Person> markup{{{"<Chips>"}, {"Fish", "&"}}};
    const std::string record = sourceRecord(
        Entry{"my<type>", "a&b<c>", {Field{"author", "(split)", people}, Field{"editor", "", markup}}, 1});
    for (const char *part : {"<b:Last>M\xc3\xbcller</b:Last>\n<b:First>J\xc3\xb6rg</b:First>",
             "<b:Tag>a&amp;b&lt;c&gt;</b:Tag>", "<b:SourceType>my&lt;type&gt;</b:SourceType>",
             "<b:Last>&lt;Chips&gt;</b:Last>", "<b:Middle>&amp;</b:Middle>"}) {
        EXPECT_NE(record.find(part), std::string::npos) << part << "\n" << record;
    }
}

// `text` with each <U+XXXX> replaced by the character it names.
std::string withCodePoints(const std::string &text)
{
    static const std::regex codePoint("<U\\+([0-9A-F]{4,6})>");
    std::string out;
    auto done = text.cbegin();
    for (std::sregex_iterator it(text.begin(), text.end(), codePoint), end; it != end; ++it) {
        utf8proc_uint8_t bytes[4];
        const auto size = utf8proc_encode_char(std::stoi((*it)[1], nullptr, 16), bytes);
        out.append(done, (*it)[0].first).append(reinterpret_cast<const char *>(bytes), size);
        done = (*it)[0].second;
    }
    return out.append(done, text.cend());
}

// One row per TeX construct, in tests/data/tex_to_text.txt: the text it prints.
TEST(TexToText, WritesWhatTexPrints)
{
    std::istringstream rows(testing::readFile(std::string(BIBSOURCES_TEST_DATA) + "/tex_to_text.txt"));
    int lines = 0;
    for (std::string row; std::getline(rows, row); ++lines) {
        if (row.empty() || row.starts_with('#')) {
            continue;
        }
        const size_t tab = row.find('\t');
        ASSERT_NE(tab, std::string::npos) << "no tab in: " << row;
        const std::string text = row.substr(tab + 1, row.find('\t', tab + 1) - tab - 1);
        EXPECT_EQ(texToText(withCodePoints(row.substr(0, tab))), withCodePoints(text)) << "row: " << row;
    }
    EXPECT_GT(lines, 200) << "the table was not read";
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
    EXPECT_FALSE(
        texToText(testing::repeated("\\texorpdfstring{", 10000) + "x" + std::string(10000, '}')).empty());
    EXPECT_FALSE(texToText(testing::repeated("\\'{", 10000) + "e" + std::string(10000, '}')).empty());
}

} // namespace
} // namespace bibsources
