#include "text.h"

#include <gtest/gtest.h>

#include <string>

using namespace bibsources;

namespace {

struct Replacement {
    const char *text;
    const char *from;
    const char *to;
    const char *result;
};

class ReplaceAll : public testing::TestWithParam<Replacement> {};

TEST_P(ReplaceAll, Replaces)
{
    const Replacement &r = GetParam();
    EXPECT_EQ(replaceAll(r.text, r.from, r.to), r.result);
}

INSTANTIATE_TEST_SUITE_P(Examples, ReplaceAll, testing::Values(
    Replacement{"aaa", "aa", "b", "ba"},         // occurrences never overlap
    Replacement{"aa", "a", "aa", "aaaa"},        // inserted text is not searched again
    Replacement{"a&b", "&", "&amp;", "a&amp;b"}, // nor is text that contains the needle
    Replacement{"abc", "", "x", "abc"},          // an empty needle changes nothing
    Replacement{"abc", "d", "x", "abc"},
    Replacement{"abc", "abc", "", ""},
    Replacement{"", "a", "b", ""},
    Replacement{"Abc abc", "abc", "x", "Abc x"})); // case-sensitive

struct Decoding {
    std::string bytes;
    std::string utf8;
};

class DecodeParserText : public testing::TestWithParam<Decoding> {};

TEST_P(DecodeParserText, Decodes)
{
    EXPECT_EQ(decodeParserText(GetParam().bytes), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(Examples, DecodeParserText, testing::Values(
    Decoding{"plain", "plain"},
    Decoding{"Caf\u00E9 \u20AC \U0001F600", "Caf\u00E9 \u20AC \U0001F600"}, // valid UTF-8 kept
    Decoding{"Caf\xE9", "Caf\u00E9"},                    // Latin-1
    Decoding{"\x80", "\u20AC"},                          // Windows-1252, not a C1 control
    Decoding{"\x9F\x8A", "\u0178\u0160"},
    Decoding{"\x93" "1\x96" "2\x97\x94", "\u201C" "1\u2013" "2\u2014\u201D"}, // quotes, dashes
    Decoding{"\x81\x8D\x8F\x90\x9D", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"}, // undefined in 1252
    // One invalid byte makes the whole string Windows-1252, valid pairs included.
    Decoding{"\xC3\xA9 \xE9", "\u00C3\u00A9 \u00E9"},
    Decoding{"\xC0\xAF", "\u00C0\u00AF"},                // overlong "/"
    Decoding{"\xE0\x80\xAF", "\u00E0\u20AC\u00AF"},      // overlong, three bytes
    Decoding{"\xED\xA0\x80", "\u00ED\u00A0\u20AC"},      // a surrogate
    Decoding{"\xF4\x90\x80\x80", "\u00F4\uFFFD\u20AC\u20AC"}, // above U+10FFFF
    Decoding{"\xC3", "\u00C3"}));                        // cut off

TEST(StripXmlForbidden, RemovesOnlyWhatXmlForbids)
{
    const std::string controls{"a\x00\x01\x08\x0B\x0C\x0E\x1F\x7F" "b", 10};
    EXPECT_EQ(stripXmlForbidden(controls), "a\x7F" "b");
    EXPECT_EQ(stripXmlForbidden("tab\tLF\nCR\r"), "tab\tLF\nCR\r");
    EXPECT_EQ(stripXmlForbidden("x\uFFFEy\uFFFF\uFFFDz\uFFFC"), "xy\uFFFDz\uFFFC");
    EXPECT_EQ(stripXmlForbidden("\uFFFE\uFFFE"), "");
}

struct Content {
    std::string bytes;
    std::string xml;
};

class XmlContent : public testing::TestWithParam<Content> {};

TEST_P(XmlContent, IsEscapedCleanUtf8)
{
    EXPECT_EQ(xmlContent(GetParam().bytes), GetParam().xml);
}

INSTANTIATE_TEST_SUITE_P(Examples, XmlContent, testing::Values(
    Content{"a<b>&c", "a&lt;b&gt;&amp;c"},
    Content{"", ""},
    Content{"M{\\\"u}ller \x01", "M\u00FCller "},     // ASCII with a control character
    Content{"M\xFCller & {\\'e}", "M\u00FCller &amp; \u00E9"}, // Latin-1
    Content{"\xEF\xBF\xBE<", "&lt;"},                 // U+FFFE in valid UTF-8
    Content{std::string("a\0b", 3), "ab"},
    Content{"{\\'e}\x80", "\u00E9\u20AC"}));        // keys still convert after decoding

} // namespace
