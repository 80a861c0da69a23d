#include "frame_bytes.h"
#include "parser_messages.h"
#include "test_support.h"
#include "worker_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources::testing {
namespace {

// A stand-in helper writes these frames and then aborts, as a worker killed
// halfway through writing a block would leave them. Positions are as a
// worker writing ahead sends them: each block's last step is exact, the ones
// before it repeat the block before's.
TEST(WorkerProcess, StepsOfABlockCutShortAreNotHandedOn)
{
    TemporaryDirectory dir;
    writeFile(dir / "frames", encoded({Frame(), step(10), step(10), step(10), step(40), step(40)}));
    writeFile(dir / "helper", "#!/bin/sh\ncat '" + (dir / "frames").string() + "'\nkill -ABRT $$\n");
    ::chmod((dir / "helper").c_str(), 0700);
    writeFile(dir / "in.bib", std::string(100, ' '));
    const int input = ::open((dir / "in.bib").c_str(), O_RDONLY);
    const WorkerStart start{.helperPath = (dir / "helper").string(),
        // A signal is then a crash, not the limit.
        .command = {.name = "in.bib", .memoryLimit = std::uint64_t(1) << 40},
        .inputFd = input,
        .maxPayload = 1 << 20,
        .maxSteps = 100};
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

// The parser's lines as messages: the input's name and the line go to their
// own fields, and only a prefix that really is the name is taken off.
TEST(ParserMessage, TakesTheNameAndTheLineOffOnlyWhereTheyAre)
{
    using Kind = Message::Kind;
    const std::pair<const char *, Message> rows[]
        = {{"a, b.bib, line 12, syntax error: x, line 4, y",
               {12, 12, Kind::Parser, "syntax error: x, line 4, y"}},
            {"a, b.bib: 3 more", {0, 0, Kind::Parser, "3 more"}},
            {"invalid token near line 2", {0, 0, Kind::Parser, "invalid token near line 2"}},
            {"a, b.bib, line x, odd", {0, 0, Kind::Parser, "a, b.bib, line x, odd"}},
            {"a, b.bibliography: no", {0, 0, Kind::Parser, "a, b.bibliography: no"}},
            {"a, b.bib, line 0, none", {0, 0, Kind::Parser, "a, b.bib, line 0, none"}},
            {"a, b.bib, line 12: odd", {0, 0, Kind::Parser, "a, b.bib, line 12: odd"}},
            {"z, b.bib, line 3, another input", {0, 0, Kind::Parser, "z, b.bib, line 3, another input"}}};
    for (const auto &[line, message] : rows) {
        EXPECT_EQ(parserMessage(line, "a, b.bib"), message) << line;
        // Printed again, it reads as the parser wrote it, named when it was not.
        const bool named = message.text != line;
        EXPECT_EQ(messageLine("a, b.bib", message), named ? line : std::string("a, b.bib: ") + line);
    }
}

} // namespace
// Only what the parser says of the end of the input, away from the entry
// it left open, names the line that entry starts on.
TEST(ParserMessage, TheEndOfTheInputNamesTheEntryLeftOpen)
{
    using Kind = Message::Kind;
    const std::string atEnd = "syntax error: at end of input, expected \"=\"";
    const std::string found = "syntax error: found \"}\", expected \"=\"";
    const struct {
        Message said;
        int entryLine;
        std::string text;
    } rows[] = {{{9, 9, Kind::Parser, atEnd}, 2, atEnd + "; the entry left open starts on line 2"},
        {{2, 2, Kind::Parser, atEnd}, 2, atEnd}, {{9, 9, Kind::Parser, atEnd}, 0, atEnd},
        {{9, 9, Kind::Parser, found}, 2, found}};
    for (const auto &row : rows) {
        Message expected = row.said;
        expected.text = row.text;
        EXPECT_EQ(withEntryLine(row.said, row.entryLine), expected)
            << row.said.text << " / " << row.entryLine;
    }
}

} // namespace bibsources::testing
