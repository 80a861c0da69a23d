// An input that held entries of which not one could be read is a failure: its
// empty document must never replace one that has records.
#include "cli_process.h"

#include <gtest/gtest.h>

namespace bibsources::testing {
namespace {

const std::string precious = "precious, hand-made\n";
const std::string emptyDocument
    = "<?xml version=\"1.0\"?>\n<b:Sources SelectedStyle=\"\" "
      "xmlns:b=\"http://schemas.openxmlformats.org/officeDocument/2006/bibliography\" "
      "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/bibliography\">\n</b:Sources>\n";

// Bytes that are no BibTeX at all, with an entry start now and then.
std::string noise()
{
    std::string bytes;
    unsigned state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 1103515245 + 12345;
        bytes += i % 997 == 0 ? '@' : char(state >> 16);
    }
    return bytes;
}

struct UnreadableRow {
    const char *name;
    std::string bib; // refs.bib
    std::vector<std::string> arguments;
    bool outputExists; // the output holds `precious` before the run
    int exitCode;
    std::vector<std::string> messages; // each in standard error
    std::string output; // the output file afterwards ("" if there is none)
    std::string out = {}; // standard output
};

const std::string twoBroken = "@article{x, title = {t} year = 2000}\n@book{y title = {T}}\n";

const UnreadableRow unreadableRows[] = {
    {"NoiseKeepsTheOldDocument", noise(), {"refs.bib"}, true, 1,
        {"bibsources: refs.bib: no entry could be read (", " skipped); Sources.xml left as it was"},
        precious},
    {"BrokenEntriesKeepTheOldDocument", twoBroken, {"refs.bib"}, true, 1,
        {"bibsources: refs.bib: no entry could be read (2 skipped); Sources.xml left as it was"}, precious},
    {"NoOutputIsMadeEither", twoBroken, {"refs.bib"}, false, 1,
        {"refs.bib: no entry could be read (2 skipped); Sources.xml not written"}, ""},
    {"MergedRunWritesNothing", twoBroken, {"-o", "Sources.xml", "good.bib", "refs.bib"}, true, 1,
        {"refs.bib: no entry could be read (2 skipped)", "nothing written to 'Sources.xml'"}, precious},
    {"StandardOutputGetsNothing", twoBroken, {"-o", "-", "refs.bib"}, true, 1,
        {"refs.bib: no entry could be read (2 skipped)"}, precious, ""},
    {"EmptyFileStillWritesTheEmptyDocument", "", {"refs.bib"}, true, 0, {"refs.bib: 0 sources"},
        emptyDocument},
    {"CommentsStillWriteTheEmptyDocument", "% a note\n@comment{nothing here}\n", {"refs.bib"}, true, 0,
        {"refs.bib: 0 sources"}, emptyDocument},
    {"OneGoodEntryIsEnough", "@book{good, title = {G}}\n" + twoBroken, {"refs.bib"}, true, 0,
        {"refs.bib: 1 source, 2 entries skipped"}, ""},
};

class UnreadableInput : public ::testing::TestWithParam<UnreadableRow> { };

TEST_P(UnreadableInput, NeverReplacesADocument)
{
    const UnreadableRow &row = GetParam();
    TemporaryDirectory dir;
    writeFile(dir / "refs.bib", row.bib);
    writeFile(dir / "good.bib", "@book{good, title = {G}}\n");
    if (row.outputExists) {
        writeFile(dir / "Sources.xml", precious);
    }
    CliCommand command;
    command.folder = dir.path();
    command.arguments = row.arguments;
    const CliOutcome outcome = runCli(command);

    EXPECT_EQ(outcome.exitCode, row.exitCode) << outcome.err;
    for (const std::string &message : row.messages) {
        EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(outcome.out, row.out);
    const bool written = std::filesystem::exists(dir / "Sources.xml");
    if (row.output.empty()) {
        EXPECT_EQ(written, row.exitCode == 0);
    } else {
        EXPECT_EQ(readFile(dir / "Sources.xml"), row.output);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, UnreadableInput, ::testing::ValuesIn(unreadableRows),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace bibsources::testing
