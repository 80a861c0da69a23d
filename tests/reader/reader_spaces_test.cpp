// A value's spaces as the parser leaves them: a run of spaces is one, none
// at either end, wherever in the value the run falls. Each value is read
// whole and a byte at a time, so that no run is cut where a slice ends.

#include "bibsources/bib_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bibsources {
namespace {

std::string titleRead(const std::string &value, std::size_t sliceSize)
{
    const std::string text = "@misc{key, title = {" + value + "}}\n";
    std::size_t at = 0;
    const BibSlices slices = [&] {
        const std::string_view slice = std::string_view(text).substr(std::min(at, text.size()), sliceSize);
        at += slice.size();
        return slice;
    };
    BibReadSettings settings{"spaces.bib", {{"title"}, {}, false}, {}, {}};
    std::vector<Entry> entries;
    const ReadReport report
        = readBib(slices, text.size(), settings, [&](Entry &&entry) { entries.push_back(std::move(entry)); });
    EXPECT_TRUE(report.messages.empty()) << value;
    if (entries.size() != 1 || entries[0].fields.size() != 1) {
        ADD_FAILURE() << "no title read from: " << value;
        return {};
    }
    return entries[0].fields[0].text;
}

void expectRead(const std::string &value, const std::string &expected)
{
    for (const std::size_t sliceSize : {std::string::npos, std::size_t{1}}) {
        EXPECT_EQ(titleRead(value, sliceSize), expected)
            << "value: '" << value << "', slices of " << sliceSize;
    }
}

TEST(ReaderSpaces, ARunOfSpacesIsOneWhereverItFalls)
{
    const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (std::size_t at = 1; at < letters.size(); ++at) {
        for (const std::string run : {"  ", "   ", "         "}) {
            const std::string expected = letters.substr(0, at) + " " + letters.substr(at);
            expectRead(letters.substr(0, at) + run + letters.substr(at), expected);
        }
    }
}

TEST(ReaderSpaces, SpacesGoFromEitherEndAndStayBetweenWords)
{
    const std::vector<std::pair<std::string, std::string>> cases{
        {"  lead", "lead"},
        {"trail  ", "trail"},
        {" both ", "both"},
        {"    ", ""},
        {" ", ""},
        {"a b c d e f g h i j", "a b c d e f g h i j"},
        {"a b  c d e f g h  i", "a b c d e f g h i"},
        {"one\n   two", "one two"},
        {"one \n two", "one two"},
        {"one\n\n two", "one two"},
        {"{braced  words}  and  more", "{braced words} and more"},
        {"tab\t\tkept", "tab\t\tkept"},
        // On a line a string goes on to, white space is a space up to the
        // first brace, parenthesis, backslash or quote.
        {"one\ntwo\tthree\f{four\tfive}\tsix", "one two three {four\tfive}\tsix"},
        {"one\n\t\v\rtwo(three\tfour", "one two(three\tfour"},
        {"one\ntwo\\\tthree", "one two\\\tthree"},
        {"one\rtwo\nthree\rfour", "onetwo three four"},
        // Of a run of carriage returns a quarter is kept.
        {"one\r\r\rtwo\r\r\r\r\r\r\r\rthree", "onetwo\r\rthree"},
    };
    for (const auto &[value, expected] : cases) {
        expectRead(value, expected);
    }
}

} // namespace
} // namespace bibsources
