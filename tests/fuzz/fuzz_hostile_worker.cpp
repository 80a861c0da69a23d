// Fuzzes the converter's side of the worker pipe with a worker that lies: the
// fake worker (fake_worker.cpp) writes bytes the fuzzer chose, then exits,
// crashes or falls silent. Whatever it does, the converter must come back
// (no crash, no hang, no endless restarting) with a document that is
// well-formed, XML-safe UTF-8 holding exactly the records it reports.
//
// Input: segments separated by "~~W~~". The first is the .bib file; each
// further one is the script of one worker start, in order (see fake_worker.cpp).

#include "fuzz_check.h"

#include "document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

using fuzzcheck::check;

namespace {

bibsources::ConversionSettings settings()
{
    bibsources::ConversionSettings settings;
    settings.helperPath = BIBSOURCES_FAKE_WORKER;
    // A silent worker costs this much of every run that has one.
    settings.helperTimeoutSeconds = 0.2;
    return settings;
}

constexpr std::string_view separator = "~~W~~";

std::string directory;
int scriptsWritten = 0;

void writeFile(const std::string &path, std::string_view bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), std::streamsize(bytes.size()));
    if (!file) {
        std::perror(path.c_str());
        std::abort();
    }
}

std::vector<std::string_view> segments(std::string_view input)
{
    std::vector<std::string_view> parts;
    while (true) {
        const size_t at = input.find(separator);
        parts.push_back(input.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        input.remove_prefix(at + separator.size());
    }
}

int startsSoFar()
{
    std::ifstream file(directory + "/count");
    int count = 0;
    file >> count;
    return count;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xmlInitParser();
    // Under TMPDIR, which the smoke run points into its own scratch folder.
    std::string pattern = (std::filesystem::temp_directory_path() / "fuzz_hostile_worker-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    directory = pattern;
    setenv("FUZZ_FAKE_WORKER_DIR", pattern.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string_view> parts = segments(input);

    const std::string bibPath = directory + "/input.bib";
    writeFile(bibPath, parts[0]);
    for (int i = 0; i < scriptsWritten; ++i) {
        std::remove((directory + "/script-" + std::to_string(i)).c_str());
    }
    scriptsWritten = int(parts.size()) - 1;
    for (int i = 0; i < scriptsWritten; ++i) {
        writeFile(directory + "/script-" + std::to_string(i), parts[size_t(i) + 1]);
    }
    writeFile(directory + "/count", "0");

    const bibsources::Document document = bibsources::buildDocument({bibPath}, settings());
    const bibsources::InputReport &report = document.inputs.front();
    check(report.ok() || !report.error.empty(), "a failed input has no error message", input);

    // Every restart starts further on or repeats a step carefully once; a
    // loop that ignores what a worker says would start far more often.
    const int starts = startsSoFar();
    check(starts <= 3 * (int(parts[0].size()) + 2), "the converter kept restarting workers", input);

    const std::string &text = document.text;
    check(fuzzcheck::hasOnlyXmlChars(text), "the document is not XML-safe UTF-8", input);
    xmlDocPtr doc = xmlReadMemory(text.data(), int(text.size()), "Sources.xml", nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    check(doc != nullptr, "the document is not well-formed XML", input);
    int records = 0;
    for (xmlNodePtr child = xmlDocGetRootElement(doc)->children; child; child = child->next) {
        records += child->type == XML_ELEMENT_NODE && xmlStrEqual(child->name, BAD_CAST "Source");
    }
    check(records == report.recordsWritten, "the number of records differs from the one reported", input);
    xmlFreeDoc(doc);
    return 0;
}
