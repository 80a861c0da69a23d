#pragma once

#include "../core/test_support.h"
#include "entry.h"
#include "worker_reader.h"

#include <string>
#include <vector>

namespace bibsources::testing {

// A fresh directory whose files are named by plain strings.
class TempDir : public TemporaryDirectory {
public:
    std::string path(const std::string &name) const { return (*this / name).string(); }
    // Writes the file and returns its path.
    std::string write(const std::string &name, const std::string &contents) const
    {
        writeFile(*this / name, contents);
        return path(name);
    }
};

// Everything one reader gave for one input.
struct ReadResult {
    std::vector<Entry> entries;
    ReadReport report;
};

ReadResult readWithWorker(const std::string &path, const WorkerSettings &settings = {});
// The same loop run in-process by a fresh child of the test, with btparse's
// messages caught from its stderr.
ReadResult readInProcess(const std::string &path);

// The text of every <b:Tag> element, in document order; fails the test (and
// returns nothing) when the text is not well-formed XML.
std::vector<std::string> tagsOf(const std::string &xml);

#ifdef CLI_PATH
constexpr const char *cliPath = CLI_PATH;
#else
constexpr const char *cliPath = nullptr; // the command-line tool is not built
#endif

// Runs the command-line tool with these arguments, its standard error into
// the file errorPath and, unless empty, its standard input from inputPath;
// returns its exit status, -1 if a signal ended it.
int runCli(const std::vector<std::string> &arguments, const std::string &errorPath,
    const std::string &inputPath = "");

} // namespace bibsources::testing
