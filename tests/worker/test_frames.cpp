#include "../core/test_support.h"
#include "entry_boundary.h"
#include "entry_mending.h"
#include "frames.h"
#include "worker_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources::testing {
namespace {

std::uint64_t endOf(const std::string &text, std::size_t chunk)
{
    EntryEndFinder finder;
    for (std::size_t i = 0; i < text.size(); i += chunk) {
        if (auto end = finder.feed(std::string_view(text).substr(i, chunk))) {
            return *end;
        }
    }
    return finder.finish();
}

TEST(EntryEnd, IsFoundWhateverTheChunkSize)
{
    const struct {
        const char *why;
        std::string text;
        std::uint64_t at; // where the entry's "@" is
        std::uint64_t end; // where the next worker starts
    } rows[] = {
        {"braced body, nested braces", "@misc{a, t={x{y}}}\n@b{", 0, 18},
        {"junk before the @", "  }}\n@misc{a}rest", 5, 13},
        {"parenthesised body, ')' inside a quoted value", "@misc(a, t=\"x)y\")more", 0, 17},
        {"a NUL byte changes nothing", std::string("@misc{a, t={x\0y}}z", 18), 0, 17},
        {"no body: up to the next line that starts with @", "@misc \"x\" @not{}\n  @book{b}", 0, 19},
        {"body never closes: up to the next line that starts with @", "@misc{a, t={x}\n@book{b}", 0, 15},
        {"body never closes and nothing follows", "@misc{a, t={x", 0, 13},
        {"no @ at all", "just text", 9, 9},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        for (std::size_t chunk : {std::size_t(1), std::size_t(3), row.text.size() + 1}) {
            EXPECT_EQ(endOf(row.text, chunk), row.end) << "chunks of " << chunk;
        }
        EntryEndFinder finder;
        finder.feed(row.text);
        EXPECT_EQ(finder.start().value_or(row.text.size()), row.at);
    }
}

// Only the two slips BibTeX forgives are mended; anything else stays broken.
TEST(EntryMending, ClosesABodyOrGivesAKeyAStandIn)
{
    const struct {
        const char *why;
        std::string text;
        const char *mended; // nullptr: not mended
        const char *key = "";
    } rows[] = {
        {"no closing brace", "@misc{a, t = {x},\n  y = 2001,\n\n", "@misc{a, t = {x},\n  y = 2001,}\n"},
        {"no closing parenthesis", "@misc(a, t = {x}\n", "@misc(a, t = {x})\n"},
        {"parentheses in the key", "@online{A(2022)B, t = {x}}\n", "@online{bibsourcesStandInKey, t = {x}}\n",
            "A(2022)B"},
        {"both", "@online{a=b, t = {x}\n", "@online{bibsourcesStandInKey, t = {x}}\n", "a=b"},
        {"a value still open", "@misc{a, t = {x\n", nullptr},
        {"a quoted value still open", "@misc{a, t = \"x}\n", nullptr},
        {"closed and an ordinary key: nothing to mend", "@misc{a, t = {x}}\n", nullptr},
        {"an odd key in a parenthesised entry", "@misc(a(b), t = {x})\n", nullptr},
        {"no body", "@misc a\n", nullptr},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.why);
        const std::optional<MendedEntry> mended = mendEntry(row.text);
        ASSERT_EQ(mended.has_value(), row.mended != nullptr);
        if (mended) {
            EXPECT_EQ(mended->text, row.mended);
            EXPECT_EQ(mended->key, row.key);
        }
    }
    const auto holds = [](const char *text) {
        return valueHoldsAField(Entry{"misc", "a", {{"title", text}}, 1});
    };
    EXPECT_TRUE(holds("Fourth, year = 2004"));
    EXPECT_TRUE(holds("Fourth\n  note=x"));
    EXPECT_FALSE(holds("a = b, c")); // "=" but no name after a comma
    EXPECT_FALSE(holds("x, 3 = y"));
    EXPECT_FALSE(holds("Fourth, Fifth"));
}

TEST(EntryLine, IsALineThatPlainlyStartsAnEntry)
{
    const std::size_t all = 1000;
    const struct {
        const char *why;
        std::string text;
        std::size_t limit;
        bool startsLine;
        std::optional<std::size_t> sign;
    } rows[] = {
        {"first line", "@misc{a}", all, true, 0},
        {"first line not a line start", "@misc{a}\n@book(b)", all, false, 9},
        {"blanks before and inside", "x\n \t@ misc \t{", all, true, 4},
        {"parenthesised", "x\n@book(b", all, true, 2},
        {"not first on its line", "x = {a @misc{b}}\n", all, true, std::nullopt},
        {"no type", "x\n@{a}\n", all, true, std::nullopt},
        {"no delimiter", "x\n@misc a\n", all, true, std::nullopt},
        {"type must start with a letter", "x\n@1misc{a}\n", all, true, std::nullopt},
        {"the second of two", "x\n@ nothing\n@misc{a}", all, true, 12},
        {"an @ past the limit", "x\n@misc{a}", 2, true, std::nullopt},
        {"an @ just before the limit", "x\n@misc{a}", 3, true, 2},
        {"cut short", "x\n@misc", all, true, std::nullopt},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(findEntryLine(row.text, row.limit, row.startsLine), row.sign) << row.why;
    }
}

constexpr std::size_t noLimit = 1 << 20;

Frame step(std::uint64_t consumedUpTo, wire::StepKind kind = wire::StepKind::Entry)
{
    return {.kind = wire::FrameKind::Step, .step = kind, .consumedUpTo = consumedUpTo};
}

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

std::string encoded(const std::vector<Frame> &frames)
{
    std::string bytes;
    for (const Frame &frame : frames) {
        encodeFrame(frame, bytes);
    }
    return bytes;
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

} // namespace
} // namespace bibsources::testing
