// Every input we can find, read both ways: through the parser helper, as the
// programs read it, and by the in-process reader. Entries, skips and
// messages must be the same, for both selections of fields the mappings ask.

#include "bibsources/bib_reader.h"
#include "field_table.h"
#include "worker_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace bibsources {
namespace {

namespace fs = std::filesystem;

struct Reading {
    std::vector<Entry> entries;
    std::vector<Message> messages;
    int skipped = 0;
    std::string error;
};

std::string contentsOf(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Reading throughHelper(const fs::path &path, const FieldSelection &fields)
{
    Reading reading;
    WorkerSettings settings;
    settings.fields = fields;
    const ReadReport report
        = WorkerInput(path.string()).read(settings, [&](Entry &&entry) { reading.entries.push_back(entry); });
    reading.messages = report.messages;
    reading.skipped = report.entriesSkipped;
    reading.error = report.error;
    return reading;
}

// The reader is given the input in small slices, so that every kind of token
// is sometimes cut between two of them.
Reading inProcess(const fs::path &path, const FieldSelection &fields)
{
    std::string text = contentsOf(path);
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    constexpr std::size_t sliceSize = 97;
    std::size_t at = 0;
    const BibSlices slices = [&] {
        const std::string_view slice = std::string_view(text).substr(std::min(at, text.size()), sliceSize);
        at += slice.size();
        return slice;
    };
    Reading reading;
    BibReadSettings settings{path.string(), fields, {}, {}};
    const ReadReport report
        = readBib(slices, text.size(), settings, [&](Entry &&entry) { reading.entries.push_back(entry); });
    reading.messages = report.messages;
    reading.skipped = report.entriesSkipped;
    reading.error = report.error;
    return reading;
}

std::string described(const Entry &entry)
{
    std::ostringstream out;
    out << "@" << entry.type << "{" << entry.key << "} line " << entry.line;
    for (const Field &field : entry.fields) {
        out << "\n  " << field.name << (field.textLeftOut ? " (left out)" : "") << " = <" << field.text
            << ">";
        if (field.names) {
            out << " " << field.names->size() << " names";
        }
    }
    return out.str();
}

std::string described(const Message &message)
{
    return std::to_string(message.line) + "-" + std::to_string(message.lastLine) + " kind "
        + std::to_string(static_cast<int>(message.kind)) + ": " + message.text;
}

// The first place two readings part, or empty.
template <typename T>
std::string firstDifference(const std::vector<T> &helper, const std::vector<T> &own, const char *what)
{
    const auto [h, o] = std::mismatch(helper.begin(), helper.end(), own.begin(), own.end());
    if (h == helper.end() && o == own.end()) {
        return {};
    }
    return std::string(what) + " " + std::to_string(h - helper.begin())
        + " differs\n helper: " + (h == helper.end() ? "(none)" : described(*h))
        + "\n reader: " + (o == own.end() ? "(none)" : described(*o));
}

bool parserCrashed(const Reading &reading)
{
    return std::any_of(reading.messages.begin(), reading.messages.end(), [](const Message &message) {
        return message.kind == Message::Kind::Skipped
            && message.text.find("skipped: the parser") != std::string::npos;
    });
}

bool transcodedByHelper(const fs::path &path)
{
    const std::string start = contentsOf(path).substr(0, 4);
    return start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")
        || start.starts_with(std::string("\0\0\xFE\xFF", 4));
}

// Inputs on which the reader is known not yet to say quite what btparse
// says; each still reads without a crash. They are listed here so that any
// new difference fails, and taken off as the reader learns them.
const std::vector<std::pair<std::string, std::string>> knownDifferences = {};

bool knownToDiffer(const fs::path &path)
{
    return std::any_of(knownDifferences.begin(), knownDifferences.end(),
        [&](const auto &known) { return path.string().ends_with(known.first); });
}

struct Counts {
    int files = 0, entries = 0, fields = 0, names = 0, messages = 0, differing = 0, leftAside = 0, known = 0;
};

Counts compareAll(const std::vector<fs::path> &files)
{
    Counts counts;
    const FieldSelection plain = helperFields(FieldsFor::PlainMapping);
    FieldSelection tidy = helperFields(FieldsFor::TidyMapping);
    tidy.namesOfTheRest = true;
    for (const fs::path &path : files) {
        if (transcodedByHelper(path)) {
            ++counts.leftAside;
            continue;
        }
        bool crashed = false;
        bool differs = false;
        for (const FieldSelection *fields : {&plain, static_cast<const FieldSelection *>(&tidy)}) {
            const Reading helper = throughHelper(path, *fields);
            if (parserCrashed(helper)) {
                crashed = true;
                break;
            }
            const Reading own = inProcess(path, *fields);
            std::string difference = firstDifference(helper.entries, own.entries, "entry");
            if (difference.empty()) {
                difference = firstDifference(helper.messages, own.messages, "message");
            }
            if (difference.empty() && helper.skipped != own.skipped) {
                difference
                    = "skipped " + std::to_string(helper.skipped) + " vs " + std::to_string(own.skipped);
            }
            if (!difference.empty() && knownToDiffer(path)) {
                ++counts.known;
                break;
            }
            if (!difference.empty()) {
                differs = true;
                ADD_FAILURE() << path.string() << ": " << difference;
                break;
            }
            if (fields == &tidy) {
                counts.entries += static_cast<int>(own.entries.size());
                counts.messages += static_cast<int>(own.messages.size());
                for (const Entry &entry : own.entries) {
                    counts.fields += static_cast<int>(entry.fields.size());
                    for (const Field &field : entry.fields) {
                        counts.names += field.names ? static_cast<int>(field.names->size()) : 0;
                    }
                }
            }
        }
        counts.leftAside += crashed ? 1 : 0;
        counts.differing += differs ? 1 : 0;
        counts.files += crashed ? 0 : 1;
    }
    std::cout << counts.files << " files, " << counts.entries << " entries, " << counts.fields << " fields, "
              << counts.names << " names, " << counts.messages << " messages compared; " << counts.differing
              << " files differ (" << counts.known << " known); " << counts.leftAside
              << " left aside (the parser crashed, or UTF-16/32)\n";
    return counts;
}

std::vector<fs::path> filesUnder(const fs::path &folder, const std::string &extension)
{
    std::vector<fs::path> files;
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        return files;
    }
    for (const fs::directory_entry &entry : fs::recursive_directory_iterator(folder, error)) {
        if (entry.is_regular_file() && (extension.empty() || entry.path().extension() == extension)) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(ReaderDifferential, EveryTestInput)
{
    const std::vector<fs::path> files = filesUnder(BIBSOURCES_TEST_DATA, ".bib");
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(compareAll(files).differing, 0);
}

TEST(ReaderDifferential, EveryFuzzCorpusFile)
{
    const std::vector<fs::path> files = filesUnder(BIBSOURCES_FUZZ_CORPORA, "");
    ASSERT_FALSE(files.empty());
    EXPECT_EQ(compareAll(files).differing, 0);
}

// What TeX Live installs; none where it is not installed.
TEST(ReaderDifferential, EveryInstalledBibFile)
{
    std::vector<fs::path> files = filesUnder("/usr/share/texlive", ".bib");
    const std::vector<fs::path> more = filesUnder("/usr/share/texmf", ".bib");
    files.insert(files.end(), more.begin(), more.end());
    if (files.empty()) {
        GTEST_SKIP() << "no TeX Live .bib files installed (texlive-bibtex-extra)";
    }
    EXPECT_EQ(compareAll(files).differing, 0);
}

} // namespace
} // namespace bibsources
