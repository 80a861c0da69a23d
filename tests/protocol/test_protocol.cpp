#include "frame_bytes.h"
#include "helper_command.h"

#include <gtest/gtest.h>

namespace bibsources::testing {
namespace {

constexpr std::size_t noLimit = 1 << 20;

Frame sampleStep()
{
    Frame frame = step((std::uint64_t(1) << 40) + 7); // past 4 GiB: all 64 bits travel
    frame.macroDefinition = true;
    frame.diagnostics = "refs.bib, line 3, warning: junk\n";
    // Any bytes in the key, NUL included; the editor is a list with no names;
    // the abstract came by its name alone.
    frame.entry = {"article", std::string("k\0y\xff", 4),
        {{"title", "", std::nullopt},
            {"author", "A and B", std::vector<Person>{{{"Doe"}, {"Jane", "Q."}}, {}}},
            {"editor", "", std::vector<Person>{}}, {"abstract", "", std::nullopt, true}},
        12};
    return frame;
}

TEST(WorkerProtocol, RoundTripsEveryKindOfFrameAndWaitsForAWholeOne)
{
    const Frame end{.kind = wire::FrameKind::End,
        .diagnostics = "refs.bib, line 9, syntax error: at end of input\n",
        .readError = true};
    for (const Frame &frame : {Frame{}, sampleStep(), step(99, wire::StepKind::Skipped), end}) {
        const std::string bytes = encoded({frame});
        // Only the first of several frames is decoded.
        const DecodeResult result = decodeFrame(bytes + encoded({sampleStep()}), noLimit);
        ASSERT_EQ(result.status, DecodeStatus::Complete);
        EXPECT_EQ(result.used, bytes.size());
        EXPECT_EQ(result.frame, frame);
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            EXPECT_EQ(decodeFrame(std::string_view(bytes).substr(0, length), noLimit).status,
                DecodeStatus::NeedMore)
                << "prefix of " << length << " bytes";
        }
    }
}

TEST(WorkerProtocol, RejectsDamagedFrames)
{
    const std::string sample = encoded({sampleStep()});
    Frame noFields = sampleStep();
    noFields.entry.fields.clear();
    // Byte offsets into the encoding of sampleStep(): kind 0, length 1..4,
    // step kind 5, consumedUpTo 6..13, macro flag 14, diagnostics length 15..18.
    const auto damaged = [](std::string bytes, std::size_t at, char value) {
        bytes[at] = value;
        return bytes;
    };
    // An entry claiming 2^32-1 fields in a few bytes must fail before any
    // allocation, not after trying to make room for them.
    const std::string manyFields = encoded({noFields}).replace(encoded({noFields}).size() - 4, 4, 4, '\xff');
    const std::pair<const char *, std::string> rows[] = {
        {"unknown frame kind", damaged(sample, 0, 9)},
        {"payload longer than the limit", damaged(sample, 4, 0x7f)},
        {"unknown step kind", damaged(sample, 5, 3)},
        {"a flag that is neither 0 nor 1", damaged(sample, 14, 2)},
        {"a string length past the payload", damaged(sample, 18, 0x40)},
        {"a payload with bytes left over", damaged(encoded({Frame{}}), 1, 1) + "x"},
        {"a count no payload could hold", manyFields},
    };
    for (const auto &[why, bytes] : rows) {
        EXPECT_EQ(decodeFrame(bytes, noLimit).status, DecodeStatus::Corrupt) << why;
    }
    // A length over the limit fails before the payload arrives.
    EXPECT_EQ(decodeFrame(sample.substr(0, 5), 10).status, DecodeStatus::Corrupt);
}

TEST(HelperCommand, ReadsBackEveryCommandItWritesAndRefusesOthers)
{
    const HelperCommand commands[] = {
        {.name = "a, b.bib"},
        {.name = "refs.bib",
            .fields = {{"title", "author"}, {"author"}, true},
            .startOffset = std::uint64_t(1) << 40,
            .startLine = 99,
            .memoryLimit = 123,
            .careful = true,
            .macros = true,
            .storeMacros = false,
            .parent = 42},
        {.selftest = "open"},
    };
    for (const HelperCommand &command : commands) {
        const ParsedHelperCommand parsed = parseHelperArguments(helperArguments(command));
        EXPECT_EQ(parsed.error, "") << command.name;
        EXPECT_EQ(helperArguments(parsed.command), helperArguments(command)) << command.name;
    }
    const std::vector<std::string> refused[] = {{}, {"--name"}, {"--name", "x", "--start", "1"},
        {"--name", "x", "--memory", "-1"}, {"--name", "x", "--bogus"}};
    for (const auto &arguments : refused) {
        EXPECT_NE(parseHelperArguments(arguments).error, "") << arguments.size() << " words";
    }
}

} // namespace
} // namespace bibsources::testing
