#include "test_support.h"

#include "btparse_reader.h"
#include "frames.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bibsources::testing {

ReadResult readWithWorker(const std::string &path, const WorkerSettings &settings)
{
    ReadResult result;
    result.report = readEntriesInWorker(
        path, settings, [&](Entry &&entry) { result.entries.push_back(std::move(entry)); });
    return result;
}

// btparse keeps state for the whole process, so the reference runs in a
// fresh child of the test each time; it sends its entries back in the
// worker's own frames, whose encoding is tested on its own.
ReadResult readInProcess(const std::string &path)
{
    TempDir dir;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::creat(dir.path("messages").c_str(), 0600), STDERR_FILENO);
        std::string bytes;
        Frame step{.kind = wire::FrameKind::Step, .step = wire::StepKind::Entry};
        const ReadReport report = readEntriesInProcess(path, [&](Entry &&entry) {
            step.entry = std::move(entry);
            encodeFrame(step, bytes);
        });
        for (int i = 0; i < report.entriesSkipped; ++i) {
            encodeFrame({.kind = wire::FrameKind::Step, .step = wire::StepKind::Skipped}, bytes);
        }
        encodeFrame({.kind = wire::FrameKind::End, .readError = !report.ok()}, bytes);
        std::fflush(stderr);
        writeFile(dir.path("frames"), bytes);
        ::_exit(0);
    }
    EXPECT_EQ(waitFor(child), 0) << "the reference run died";
    ReadResult result;
    const std::string bytes = readFile(dir.path("frames"));
    std::string_view rest(bytes);
    for (DecodeResult decoded;
         !rest.empty() && (decoded = decodeFrame(rest, rest.size())).status == DecodeStatus::Complete;) {
        rest.remove_prefix(decoded.used);
        if (decoded.frame.kind == wire::FrameKind::End && decoded.frame.readError) {
            result.report.error = "cannot read '" + path + "': a read error occurred";
        } else if (decoded.frame.step == wire::StepKind::Skipped) {
            ++result.report.entriesSkipped;
        } else if (decoded.frame.kind == wire::FrameKind::Step) {
            result.entries.push_back(std::move(decoded.frame.entry));
        }
    }
    EXPECT_TRUE(rest.empty()) << "the reference run sent a broken frame";
    std::istringstream messages(readFile(dir.path("messages")));
    for (std::string line; std::getline(messages, line);) {
        result.report.diagnostics.push_back(line);
    }
    return result;
}

std::vector<std::string> tagsOf(const std::string &xml)
{
    xmlDoc *document = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "Sources.xml", nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    EXPECT_NE(document, nullptr) << "not well-formed XML";
    if (!document) {
        return {};
    }
    xmlFreeDoc(document);
    std::vector<std::string> tags;
    for (auto at = xml.find("<b:Tag>"); at != std::string::npos; at = xml.find("<b:Tag>", at + 1)) {
        tags.push_back(xml.substr(at + 7, xml.find("</b:Tag>", at) - at - 7));
    }
    return tags;
}

std::string bodyOf(const std::string &document)
{
    const auto start = document.find(">\n", document.find("<b:Sources")) + 2;
    return document.substr(start, document.rfind("</b:Sources>") - start);
}

pid_t startCli(const std::vector<std::string> &arguments, const std::string &errorPath,
    const std::function<void()> &prepare)
{
    std::vector<std::string> words{CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        if (prepare) {
            prepare();
        }
        ::dup2(::creat(errorPath.c_str(), 0600), STDERR_FILENO);
        ::execv(CLI_PATH, argv.data());
        ::_exit(127);
    }
    return child;
}

int waitFor(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace bibsources::testing
