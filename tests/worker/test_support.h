#pragma once

#include "entry.h"
#include "entry_reader.h"

#include <filesystem>
#include <string>
#include <vector>

namespace bibsources::testing {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string write(const std::string &name, const std::string &contents) const;
    std::string path(const std::string &name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};

std::string readFile(const std::string &path);

// Everything one reader gave for one input.
struct ReadResult {
    std::vector<Entry> entries;
    ReadReport report;
};

ReadResult readWithWorker(const std::string &path);
// The same loop run in-process by a fresh child of the test, with btparse's
// messages caught from its stderr.
ReadResult readInProcess(const std::string &path);

// The text of every <b:Tag> element, in document order; fails the test (and
// returns nothing) when the text is not well-formed XML.
std::vector<std::string> tagsOf(const std::string &xml);

// Runs a shell command line; returns its exit status (-1 if a signal ended it).
int runShell(const std::string &commandLine);

// Quotes a word for the shell.
std::string quoted(const std::string &word);

} // namespace bibsources::testing
