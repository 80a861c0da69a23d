#pragma once

#include "parser_messages.h"
#include "test_support.h"
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
    std::vector<std::string> lines; // its messages as the command prints them
};

inline std::vector<std::string> linesOf(const std::string &path, const std::vector<Message> &messages)
{
    std::vector<std::string> lines;
    for (const Message &message : messages) {
        lines.push_back(messageLine(path, message));
    }
    return lines;
}

inline ReadResult readEntries(const std::string &path, const WorkerSettings &settings)
{
    ReadResult result;
    result.report = readEntriesInWorker(
        path, settings, [&](Entry &&entry) { result.entries.push_back(std::move(entry)); });
    result.lines = linesOf(path, result.report.messages);
    return result;
}

// The text of each field called `name` in entry order; with no name, the keys.
inline std::vector<std::string> valuesOf(const ReadResult &result, const std::string &name)
{
    std::vector<std::string> values;
    for (const Entry &entry : result.entries) {
        if (name.empty()) {
            values.push_back(entry.key);
        }
        for (const Field &field : entry.fields) {
            if (field.name == name) {
                values.push_back(field.text);
            }
        }
    }
    return values;
}

} // namespace bibsources::testing
