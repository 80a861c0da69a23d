// The reader's hard limits: an input built to exhaust memory or the stack
// ends its entry with a message and the reading goes on behind it.

#include "bibsources/bib_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bibsources {
namespace {

struct Reading {
    std::vector<Entry> entries;
    ReadReport report;
};

Reading read(const std::string &text)
{
    bool given = false;
    const BibSlices slices
        = [&] { return given ? std::string_view() : (given = true, std::string_view(text)); };
    BibReadSettings settings{"limits.bib", {{"title"}, {}, false}, {}, {}};
    Reading reading;
    reading.report = readBib(
        slices, text.size(), settings, [&](Entry &&entry) { reading.entries.push_back(std::move(entry)); });
    return reading;
}

bool saysSomething(const Reading &reading, const std::string &words)
{
    for (const Message &message : reading.report.messages) {
        if (message.text.find(words) != std::string::npos) {
            return true;
        }
    }
    return false;
}

const std::string after = "\n@misc{after, title = {kept}}\n";

struct LimitCase {
    const char *name;
    std::string input;
    const char *message;
};

class ReaderLimits : public ::testing::TestWithParam<LimitCase> { };

TEST_P(ReaderLimits, EndTheEntryWithAMessageAndReadOn)
{
    const Reading reading = read(GetParam().input + after);
    EXPECT_TRUE(saysSomething(reading, GetParam().message));
    EXPECT_EQ(reading.report.entriesSkipped, 1);
    ASSERT_FALSE(reading.entries.empty());
    EXPECT_EQ(reading.entries.back().key, "after");
    EXPECT_EQ(reading.entries.back().fields.at(0).text, "kept");
}

// Each @string doubles the one before it: 26 of them would make 512 MiB.
std::string doublingMacros()
{
    std::string text = "@string{m0 = \"xxxxxxxx\"}\n";
    for (int i = 1; i <= 26; ++i) {
        text += "@string{m" + std::to_string(i) + " = m" + std::to_string(i - 1) + " # m"
            + std::to_string(i - 1) + "}\n";
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(Reader, ReaderLimits,
    ::testing::Values(
        LimitCase{"nesting", "@misc{deep, title = " + std::string(20000, '{') + "}", "nested deeper"},
        LimitCase{
            "entrySize", "@misc{huge, title = {" + std::string(17 << 20, 'x') + "}}", "entry longer than"},
        LimitCase{"macroExpansion", doublingMacros(), "expand beyond"}),
    [](const ::testing::TestParamInfo<LimitCase> &info) { return std::string(info.param.name); });

} // namespace
} // namespace bibsources
