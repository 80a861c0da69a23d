#include "reference_text.h"
#include "text.h"

#include <gtest/gtest.h>

#include <string>

using namespace bibsources;
using bibsources::testing::replaceAll;
using bibsources::testing::xmlContent;

namespace {

TEST(ReplaceAll, Replaces)
{
    const char *rows[][4] = {
        {"aaa", "aa", "b", "ba"}, // occurrences never overlap
        {"aa", "a", "aa", "aaaa"}, // inserted text is not searched again
        {"abc", "", "x", "abc"}, // an empty needle changes nothing
        {"abc", "abc", "", ""}, {"Abc abc", "abc", "x", "Abc x"}, // case-sensitive
    };
    for (const auto &row : rows) {
        EXPECT_EQ(replaceAll(row[0], row[1], row[2]), row[3]) << row[0] << " " << row[1];
    }
}

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

TEST(StripXmlForbidden, RemovesOnlyWhatXmlForbids)
{
    const std::string controls{"a\x00\x01\x08\x0B\x0C\x0E\x1F\x7F"
                               "b",
        10};
    EXPECT_EQ(stripXmlForbidden(controls),
        "a\x7F"
        "b");
    EXPECT_EQ(stripXmlForbidden("tab\tLF\nCR\r"), "tab\tLF\nCR\r");
    EXPECT_EQ(stripXmlForbidden("x\uFFFEy\uFFFF\uFFFDz\uFFFC"), "xy\uFFFDz\uFFFC");
}

TEST(XmlContent, IsEscapedCleanUtf8)
{
    const std::pair<std::string, std::string> rows[] = {
        {"a<b>&c", "a&lt;b&gt;&amp;c"},
        {"M{\\\"u}ller \x01", "M\u00FCller "}, // ASCII with a control character
        {"M\xFCller & {\\'e}", "M\u00FCller &amp; \u00E9"}, // Latin-1
        {"\xEF\xBF\xBE<", "&lt;"}, // U+FFFE in valid UTF-8
        {std::string("a\0b", 3), "ab"}, {"{\\'e}\x80", "\u00E9\u20AC"}, // keys still convert after decoding
    };
    for (const auto &[bytes, xml] : rows) {
        EXPECT_EQ(xmlContent(bytes), xml) << bytes;
    }
}

} // namespace
