#include "test_support.h"

#include "btparse_reader.h"
#include "worker_protocol.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace bibsources::testing {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "bibsources-worker-XXXXXX").string();
    root = ::mkdtemp(pattern.data());
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string TempDir::write(const std::string &name, const std::string &contents) const
{
    const std::string file = path(name);
    std::ofstream(file, std::ios::binary) << contents;
    return file;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

ReadResult readWithWorker(const std::string &path)
{
    ReadResult result;
    result.report = readEntries(path, [&](Entry &&entry) { result.entries.push_back(std::move(entry)); });
    return result;
}

// btparse keeps state for the whole process, so the reference runs in a
// fresh child of the test each time; it sends its entries back in the
// worker's own frames, whose encoding is tested on its own.
ReadResult readInProcess(const std::string &path)
{
    ReadResult result;
    char name[] = "/tmp/bibsources-stderr-XXXXXX";
    const int capture = ::mkstemp(name);
    int channel[2];
    EXPECT_EQ(::pipe(channel), 0);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        ::dup2(capture, STDERR_FILENO);
        std::string bytes;
        const ReadReport report = readEntriesInProcess(path, [&](Entry &&entry) {
            Frame frame;
            frame.kind = wire::FrameKind::Step;
            frame.step = wire::StepKind::Entry;
            frame.entry = std::move(entry);
            encodeFrame(frame, bytes);
        });
        Frame skipped;
        skipped.kind = wire::FrameKind::Step;
        skipped.step = wire::StepKind::Skipped;
        for (int i = 0; i < report.entriesSkipped; ++i) {
            encodeFrame(skipped, bytes);
        }
        Frame end;
        end.kind = wire::FrameKind::End;
        end.readError = !report.ok();
        encodeFrame(end, bytes);
        std::fflush(stderr);
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(channel[1], bytes.data() + done, bytes.size() - done);
            if (n <= 0) {
                ::_exit(1);
            }
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string bytes;
    char chunk[1 << 16];
    for (ssize_t n; (n = ::read(channel[0], chunk, sizeof chunk)) > 0;) {
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reference run died";

    std::string_view rest(bytes);
    while (!rest.empty()) {
        DecodeResult decoded = decodeFrame(rest, rest.size());
        if (decoded.status != DecodeStatus::Complete) {
            ADD_FAILURE() << "the reference run sent a broken frame";
            break;
        }
        rest.remove_prefix(decoded.used);
        if (decoded.frame.kind == wire::FrameKind::End) {
            if (decoded.frame.readError) {
                result.report.error = "cannot read '" + path + "': a read error occurred";
            }
        } else if (decoded.frame.step == wire::StepKind::Skipped) {
            ++result.report.entriesSkipped;
        } else {
            result.entries.push_back(std::move(decoded.frame.entry));
        }
    }
    ::close(capture);
    std::istringstream messages(readFile(name));
    ::unlink(name);
    for (std::string line; std::getline(messages, line);) {
        result.report.diagnostics.push_back(line);
    }
    return result;
}

namespace {

void collectTags(xmlNode *node, std::vector<std::string> &tags)
{
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST "Tag")) {
            xmlChar *text = xmlNodeGetContent(node);
            tags.emplace_back(reinterpret_cast<const char *>(text));
            xmlFree(text);
        }
        collectTags(node->children, tags);
    }
}

} // namespace

std::vector<std::string> tagsOf(const std::string &xml)
{
    std::vector<std::string> tags;
    xmlDoc *document = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "Sources.xml", nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
    EXPECT_NE(document, nullptr) << "not well-formed XML";
    if (document) {
        collectTags(xmlDocGetRootElement(document), tags);
        xmlFreeDoc(document);
    }
    return tags;
}

int runShell(const std::string &commandLine)
{
    const int status = std::system(commandLine.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string &word)
{
    std::string result = "'";
    for (char c : word) {
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return result + "'";
}

} // namespace bibsources::testing
