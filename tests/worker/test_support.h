#pragma once

#include "../core/test_support.h"
#include "entry.h"
#include "worker_reader.h"

#include <functional>
#include <string>
#include <sys/types.h>
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
// What lies between <b:Sources ...> and </b:Sources>.
std::string bodyOf(const std::string &document);

// Starts the command-line tool in a child that first runs `prepare`, its
// standard error into the file errorPath.
pid_t startCli(const std::vector<std::string> &arguments, const std::string &errorPath,
    const std::function<void()> &prepare = {});
// The child's exit status, -1 if a signal ended it.
int waitFor(pid_t child);

} // namespace bibsources::testing
