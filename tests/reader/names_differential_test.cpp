// Every name of every author, editor and translator field of the .bib files
// we ship as test data and of those TeX Live installs, split both ways:
// through btparse as the helper splits them, and with our own splitter. The
// people and btparse's warnings must be the same for every field.

#include "btparse_handles.h"
#include "btparse_reader.h"
#include "name_split.h"
#include "names_reference.h"
#include "test_support.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace bibsources::names_test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> bibFilesUnder(const fs::path &root)
{
    std::vector<fs::path> files;
    std::error_code error;
    if (!fs::is_directory(root, error)) {
        return files;
    }
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error), end;
         it != end; it.increment(error)) {
        if (it->is_regular_file(error) && it->path().extension() == ".bib") {
            files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The texts of a file's author, editor and translator fields, as btparse
// reads them. btparse keeps state for the whole process and may crash on a
// hostile file, so it reads in a child, which writes each text to a file
// as its length, a newline and its bytes; nullopt when the child failed.
std::optional<std::vector<std::string>> contributorTexts(const fs::path &bib)
{
    testing::TemporaryDirectory dir;
    const fs::path out = dir / "texts";
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        std::FILE *messages = std::freopen("/dev/null", "w", stderr);
        (void)messages;
        const std::unique_ptr<std::FILE, int (*)(std::FILE *)> input(
            std::fopen(bib.c_str(), "r"), std::fclose);
        const std::unique_ptr<std::FILE, int (*)(std::FILE *)> texts(
            std::fopen(out.c_str(), "w"), std::fclose);
        if (!input || !texts) {
            ::_exit(1);
        }
        ParseSettings settings;
        settings.fields.kept = {"author", "editor", "translator"};
        parseStream(input.get(), bib.string(), settings, [&](ParseStep &&step) {
            if (step.outcome != wire::StepKind::Entry || step.macroDefinition) {
                return;
            }
            for (const Field &field : step.entry.fields) {
                std::fprintf(texts.get(), "%zu\n", field.text.size());
                std::fwrite(field.text.data(), 1, field.text.size(), texts.get());
            }
        });
        std::fflush(texts.get());
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    const std::string bytes = testing::readFile(out);
    std::vector<std::string> texts;
    size_t at = 0;
    while (at < bytes.size()) {
        const size_t newline = bytes.find('\n', at);
        const size_t length = std::stoul(bytes.substr(at, newline - at));
        texts.push_back(bytes.substr(newline + 1, length));
        at = newline + 1 + length;
    }
    return texts;
}

std::string gapName(ReferenceGap gap)
{
    switch (gap) {
    case ReferenceGap::None:
        return "none";
    case ReferenceGap::ListAborts:
        return "btparse aborts on a blank name";
    }
    return "?";
}

struct Tally {
    size_t files = 0;
    size_t unreadable = 0;
    size_t fields = 0;
    size_t names = 0;
    size_t differences = 0;
    std::map<std::string, size_t> gaps;
};

void compareFile(const fs::path &bib, Tally &tally)
{
    ++tally.files;
    const std::optional<std::vector<std::string>> texts = contributorTexts(bib);
    if (!texts) {
        ++tally.unreadable;
        ADD_FAILURE() << bib << ": btparse could not read it in a child";
        return;
    }
    for (const std::string &text : *texts) {
        ++tally.fields;
        const ReferenceGap gap = referenceGap(text);
        if (gap != ReferenceGap::None) {
            ++tally.gaps[gapName(gap)];
            std::cout << bib.string() << ": left out (" << gapName(gap) << "): " << text << "\n";
            continue;
        }
        const ReferenceSplit expected = splitWithBtparse(text);
        const SplitNames actual = splitNames(text);
        tally.names += expected.people ? expected.people->size() : 0;
        if (expected.people != actual.people || expected.diagnostics != actual.diagnostics) {
            ++tally.differences;
            ADD_FAILURE() << bib << ": the names of \"" << text << "\" split differently\nbtparse warned:\n"
                          << expected.diagnostics << "we warned:\n"
                          << actual.diagnostics;
        }
    }
}

void report(const char *what, const Tally &tally)
{
    std::cout << what << ": " << tally.files << " files, " << tally.fields << " fields, " << tally.names
              << " names compared, " << tally.differences << " differences\n";
    for (const auto &[gap, count] : tally.gaps) {
        std::cout << "  left out, " << gap << ": " << count << " fields\n";
    }
    ::testing::Test::RecordProperty(std::string(what) + "_files", static_cast<int>(tally.files));
    ::testing::Test::RecordProperty(std::string(what) + "_names", static_cast<int>(tally.names));
}

TEST(NamesDifferential, EveryNameOfOurTestDataSplitsAsBtparseSplitsIt)
{
    const ParserSession session;
    Tally tally;
    for (const fs::path &bib : bibFilesUnder(BIBSOURCES_TEST_DATA)) {
        compareFile(bib, tally);
    }
    report("test data", tally);
    EXPECT_GT(tally.names, 50U) << "the test data should hold names to compare";
}

TEST(NamesDifferential, EveryNameOfTeXLiveSplitsAsBtparseSplitsIt)
{
    const ParserSession session;
    Tally tally;
    for (const char *root : {"/usr/share/texlive", "/usr/share/texmf"}) {
        for (const fs::path &bib : bibFilesUnder(root)) {
            compareFile(bib, tally);
        }
    }
    if (tally.files == 0) {
        GTEST_SKIP() << "no .bib under /usr/share/texlive or /usr/share/texmf: install texlive-bibtex-extra";
    }
    report("TeX Live", tally);
}

} // namespace
} // namespace bibsources::names_test
