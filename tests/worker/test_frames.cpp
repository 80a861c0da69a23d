#include "frames.h"
#include "test_support.h"
#include "worker_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources::testing {
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

TEST(WorkerProtocol, RoundTripsEveryKindOfFrameAndWaitsForAWholeOne)
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
        for (std::size_t length = 0; length < bytes.size(); ++length) {
            EXPECT_EQ(decodeFrame(std::string_view(bytes).substr(0, length), noLimit).status,
                DecodeStatus::NeedMore)
                << "prefix of " << length << " bytes";
        }
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

// A stand-in helper writes these frames and then aborts, as a worker killed
// halfway through writing a block would leave them. Positions are as a
// worker writing ahead sends them: each block's last step is exact, the ones
// before it repeat the block before's.
TEST(WorkerProcess, StepsOfABlockCutShortAreNotHandedOn)
{
    TempDir dir;
    std::string bytes;
    encodeFrame(Frame(), bytes); // ready
    for (std::uint64_t consumedUpTo : {10, 10, 10, 40, 40}) {
        Frame step;
        step.kind = wire::FrameKind::Step;
        step.step = wire::StepKind::Entry;
        step.consumedUpTo = consumedUpTo;
        encodeFrame(step, bytes);
    }
    const std::string helper
        = dir.write("helper", "#!/bin/sh\ncat '" + dir.write("frames", bytes) + "'\nkill -ABRT $$\n");
    ::chmod(helper.c_str(), 0700);
    const int input = ::open(dir.write("in.bib", std::string(100, ' ')).c_str(), O_RDONLY);
    WorkerStart start;
    start.helperPath = helper;
    start.inputFd = input;
    start.command.name = "in.bib";
    start.maxPayload = 1 << 20;
    start.maxSteps = 100;
    start.command.memoryLimit = std::uint64_t(1) << 40; // a signal is then a crash, not the limit
    std::vector<std::uint64_t> handedOn;
    const WorkerOutcome outcome = runWorker(start, [&](Frame &&frame) {
        if (frame.kind == wire::FrameKind::Step) {
            handedOn.push_back(frame.consumedUpTo);
        }
        return true;
    });
    ::close(input);
    EXPECT_EQ(outcome.end, WorkerEnd::Crashed);
    // The last step's block never ended: it could lie anywhere past 40.
    EXPECT_EQ(handedOn, (std::vector<std::uint64_t>{10, 10, 10, 40}));
    EXPECT_EQ(outcome.steps, 4);
    EXPECT_EQ(outcome.lastConsumed, 40U);
}

} // namespace
} // namespace bibsources::testing
