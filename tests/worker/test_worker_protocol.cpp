#include "frames.h"

#include <gtest/gtest.h>

namespace bibsources {
namespace {

constexpr std::size_t noLimit = 1 << 20;

Frame sampleStep()
{
    Frame frame;
    frame.kind = wire::FrameKind::Step;
    frame.step = wire::StepKind::Entry;
    frame.consumedUpTo = (std::uint64_t(1) << 40) + 7; // past 4 GiB: all 64 bits travel
    frame.macroDefinition = true;
    frame.diagnostics = "refs.bib, line 3, warning: junk\n";
    frame.entry.type = "article";
    frame.entry.key = std::string("k\0y\xff", 4); // any bytes, NUL included
    frame.entry.line = 12;
    frame.entry.fields.push_back({"title", "", std::nullopt});
    frame.entry.fields.push_back({"author", "A and B", std::vector<Person>{{{"Doe"}, {"Jane", "Q."}}, {}}});
    frame.entry.fields.push_back({"editor", "", std::vector<Person>{}}); // a list with no names
    return frame;
}

std::string encoded(const Frame &frame)
{
    std::string bytes;
    encodeFrame(frame, bytes);
    return bytes;
}

TEST(WorkerProtocol, RoundTripsEveryKindOfFrame)
{
    Frame end;
    end.kind = wire::FrameKind::End;
    end.readError = true;
    end.diagnostics = "refs.bib, line 9, syntax error: at end of input\n";
    Frame skipped;
    skipped.kind = wire::FrameKind::Step;
    skipped.step = wire::StepKind::Skipped;
    skipped.consumedUpTo = 99;
    for (const Frame &frame : {Frame{}, sampleStep(), skipped, end}) {
        const std::string bytes = encoded(frame);
        // Only the first of several frames is decoded.
        const DecodeResult result = decodeFrame(bytes + encoded(sampleStep()), noLimit);
        ASSERT_EQ(result.status, DecodeStatus::Complete);
        EXPECT_EQ(result.used, bytes.size());
        EXPECT_EQ(result.frame, frame);
    }
}

TEST(WorkerProtocol, EveryProperPrefixAsksForMore)
{
    const std::string bytes = encoded(sampleStep());
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_EQ(
            decodeFrame(std::string_view(bytes).substr(0, length), noLimit).status, DecodeStatus::NeedMore)
            << "prefix of " << length << " bytes";
    }
}

TEST(WorkerProtocol, RejectsDamagedFrames)
{
    const std::string step = encoded(sampleStep());
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
    const std::string manyFields = encoded(noFields).replace(encoded(noFields).size() - 4, 4, 4, '\xff');
    const std::pair<const char *, std::string> rows[] = {
        {"unknown frame kind", damaged(step, 0, 9)},
        {"payload longer than the limit", damaged(step, 4, 0x7f)},
        {"unknown step kind", damaged(step, 5, 3)},
        {"a flag that is neither 0 nor 1", damaged(step, 14, 2)},
        {"a string length past the payload", damaged(step, 18, 0x40)},
        {"a payload with bytes left over", damaged(encoded(Frame{}), 1, 1) + "x"},
        {"a count no payload could hold", manyFields},
    };
    for (const auto &[why, bytes] : rows) {
        EXPECT_EQ(decodeFrame(bytes, noLimit).status, DecodeStatus::Corrupt) << why;
    }
    // A length over the limit fails before the payload arrives.
    EXPECT_EQ(decodeFrame(step.substr(0, 5), 10).status, DecodeStatus::Corrupt);
}

TEST(WorkerProtocol, MacroListsRoundTripAndRejectHalfPairs)
{
    const MacroList macros{{"jan", "January"}, {"", ""}, {"x", std::string(3, '\0')}};
    std::string bytes;
    encodeMacros(macros, bytes);
    MacroList decoded;
    ASSERT_TRUE(decodeMacros(bytes, decoded));
    EXPECT_EQ(decoded, macros);
    MacroList ignored;
    EXPECT_FALSE(decodeMacros(bytes.substr(0, bytes.size() - 1), ignored));
}

} // namespace
} // namespace bibsources
