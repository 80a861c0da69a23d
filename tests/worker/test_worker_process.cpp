#include "test_support.h"

#include "worker_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources::testing {
namespace {

Frame stepAt(std::uint64_t consumedUpTo)
{
    Frame frame;
    frame.kind = wire::FrameKind::Step;
    frame.step = wire::StepKind::Entry;
    frame.consumedUpTo = consumedUpTo;
    return frame;
}

// A stand-in helper that writes the given frames and then aborts, as a worker
// killed halfway through writing a block would leave them.
WorkerOutcome runFakeWorker(
    const TempDir &dir, const std::vector<Frame> &frames, std::vector<std::uint64_t> &handedOn)
{
    std::string bytes;
    for (const Frame &frame : frames) {
        encodeFrame(frame, bytes);
    }
    const std::string framesPath = dir.write("frames", bytes);
    const std::string helper = dir.write("helper", "#!/bin/sh\ncat '" + framesPath + "'\nkill -ABRT $$\n");
    ::chmod(helper.c_str(), 0700);
    const int input = ::open(dir.write("in.bib", std::string(100, ' ')).c_str(), O_RDONLY);

    WorkerStart start;
    start.helperPath = helper;
    start.inputFd = input;
    start.command.name = "in.bib";
    start.maxPayload = 1 << 20;
    start.maxSteps = 100;
    start.command.memoryLimit = std::uint64_t(1) << 40; // a signal is then a crash, not the limit
    const WorkerOutcome outcome = runWorker(start, [&](Frame &&frame) {
        if (frame.kind == wire::FrameKind::Step) {
            handedOn.push_back(frame.consumedUpTo);
        }
        return true;
    });
    ::close(input);
    return outcome;
}

TEST(WorkerProcess, StepsOfABlockCutShortAreNotHandedOn)
{
    // Positions as a worker writing ahead sends them: each block's last step
    // is exact, the ones before it repeat the block before's.
    const Frame ready;
    TempDir dir;
    std::vector<std::uint64_t> handedOn;
    const WorkerOutcome outcome
        = runFakeWorker(dir, {ready, stepAt(10), stepAt(10), stepAt(10), stepAt(40), stepAt(40)}, handedOn);
    EXPECT_EQ(outcome.end, WorkerEnd::Crashed);
    // The last step's block never ended: it could lie anywhere past 40.
    EXPECT_EQ(handedOn, (std::vector<std::uint64_t>{10, 10, 10, 40}));
    EXPECT_EQ(outcome.steps, 4);
    EXPECT_EQ(outcome.lastConsumed, 40U);
}

TEST(WorkerProcess, TheEndFrameHandsOnEveryStepLeft)
{
    Frame end;
    end.kind = wire::FrameKind::End;
    TempDir dir;
    std::vector<std::uint64_t> handedOn;
    const WorkerOutcome outcome = runFakeWorker(dir, {Frame(), stepAt(10), stepAt(10), end}, handedOn);
    EXPECT_EQ(outcome.end, WorkerEnd::Finished);
    EXPECT_EQ(handedOn, (std::vector<std::uint64_t>{10, 10}));
}

} // namespace
} // namespace bibsources::testing
