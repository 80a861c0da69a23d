#include "test_support.h"

#include "document.h"
#include "input_encoding.h"

#include <gtest/gtest.h>

namespace bibsources::testing {
namespace {

// The code points of UTF-8 text (well-formed, as written in this file).
std::vector<char32_t> codePointsOf(std::string_view text)
{
    std::vector<char32_t> points;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
        char32_t point = length == 1 ? lead : lead & (0x3f >> (length - 1));
        for (int k = 1; k < length; ++k) {
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3f);
        }
        points.push_back(point);
        i += length;
    }
    return points;
}

void putUnit(std::string &out, std::uint32_t unit, int bytes, bool bigEndian)
{
    for (int k = 0; k < bytes; ++k) {
        const int shift = 8 * (bigEndian ? bytes - 1 - k : k);
        out += static_cast<char>((unit >> shift) & 0xff);
    }
}

// The text in UTF-16 or UTF-32 (unitBytes 2 or 4), with its byte-order mark.
std::string encoded(std::string_view utf8, int unitBytes, bool bigEndian)
{
    std::string out;
    putUnit(out, 0xfeff, unitBytes, bigEndian);
    for (const char32_t point : codePointsOf(utf8)) {
        if (unitBytes == 2 && point > 0xffff) {
            putUnit(out, 0xd800 + ((point - 0x10000) >> 10), 2, bigEndian);
            putUnit(out, 0xdc00 + ((point - 0x10000) & 0x3ff), 2, bigEndian);
        } else {
            putUnit(out, point, unitBytes, bigEndian);
        }
    }
    return out;
}

const std::string sample
    = "@string{pub = \"Presses universitaires\"}\r\n"
      "@book{caf\xc3\xa9, author = {M\xc3\xbcller, J\xc3\xbcrgen and \xc3\x89mile Zola},\r\n"
      "  title = {Na\xc3\xafve \xe2\x80\x9cquotes\xe2\x80\x9d and \xf0\x9d\x84\x9e music},\r\n"
      "  publisher = pub, month = jan, year = 1999}\r\n"
      "@misc{b, title = {\xe6\x97\xa5\xe6\x9c\xac}}\r\n";

TEST(InputEncoding, UnicodeWithAByteOrderMarkConvertsLikeUtf8)
{
    struct Row {
        const char *why;
        std::string bytes;
    };
    const Row rows[] = {
        {"UTF-8 with a mark", "\xef\xbb\xbf" + sample},
        {"UTF-16 LE", encoded(sample, 2, false)},
        {"UTF-16 BE", encoded(sample, 2, true)},
        {"UTF-32 LE", encoded(sample, 4, false)},
        {"UTF-32 BE", encoded(sample, 4, true)},
    };
    TempDir plainDir;
    const Document expected = buildDocument({plainDir.write("refs.bib", sample)});
    ASSERT_TRUE(expected.ok());
    ASSERT_EQ(expected.inputs.at(0).recordsWritten, 3);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.why);
        TempDir dir;
        const std::string path = dir.write("refs.bib", row.bytes);
        const Document document = buildDocument({path});
        ASSERT_TRUE(document.ok());
        EXPECT_EQ(document.text, expected.text);
        const ReadResult read = readWithWorker(path);
        EXPECT_TRUE(read.report.diagnostics.empty()) << read.report.diagnostics.front();
    }
}

TEST(InputEncoding, TheMarkIsRecognised)
{
    struct Row {
        std::string bytes;
        std::size_t length;
        const char *encoding;
    };
    const Row rows[] = {
        {"@misc", 0, nullptr},
        {"\xef\xbb\xbf@", 3, nullptr},
        {"\xff\xfe@\0", 2, "UTF-16LE"},
        {"\xfe\xff\0@", 2, "UTF-16BE"},
        {std::string("\xff\xfe\0\0", 4), 4, "UTF-32LE"},
        {std::string("\0\0\xfe\xff", 4), 4, "UTF-32BE"},
        {"\xff", 0, nullptr},
        {"", 0, nullptr},
    };
    for (const Row &row : rows) {
        const ByteOrderMark mark = byteOrderMarkOf(row.bytes);
        EXPECT_EQ(mark.length, row.length);
        EXPECT_EQ(
            std::string(mark.encoding ? mark.encoding : "-"), std::string(row.encoding ? row.encoding : "-"));
    }
}

TEST(InputEncoding, ABrokenSequenceBecomesAReplacementCharacter)
{
    TempDir dir;
    // A lone high surrogate in the title, and half a character at the end.
    std::string bytes = encoded("@misc{a, title = {x", 2, false);
    bytes += std::string("\x00\xd8", 2) + encoded("y}}\n", 2, false).substr(2) + "@";
    const ReadResult read = readWithWorker(dir.write("refs.bib", bytes));
    ASSERT_EQ(read.entries.size(), 1U);
    EXPECT_EQ(read.entries[0].fields.at(0).text, "x\xef\xbf\xbdy");
}

} // namespace
} // namespace bibsources::testing
