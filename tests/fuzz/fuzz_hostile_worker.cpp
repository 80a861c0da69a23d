// Fuzzes the converter's side of the worker pipe with a worker that lies: the
// fake worker (fake_worker.cpp) writes bytes the fuzzer chose, then exits,
// crashes or falls silent. The converter must come back, without endless
// restarting, with a document that passes fuzzcheck::checkDocument.
// Input: the .bib file, then the script of each worker start in order, all
// separated by "~~W~~".

#include "fuzz_document.h"

#include <vector>

using fuzzcheck::check;

namespace {

constexpr std::string_view separator = "~~W~~";

std::string directory;
int scriptsWritten = 0;

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

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xmlInitParser();
    directory = fuzzcheck::scratchDirectory("fuzz_hostile_worker");
    setenv("FUZZ_FAKE_WORKER_DIR", directory.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string_view> parts = segments(input);

    const std::string bibPath = directory + "/input.bib";
    fuzzcheck::writeFile(bibPath, parts[0]);
    for (int i = 0; i < scriptsWritten; ++i) {
        std::remove((directory + "/script-" + std::to_string(i)).c_str());
    }
    scriptsWritten = int(parts.size()) - 1;
    for (int i = 0; i < scriptsWritten; ++i) {
        fuzzcheck::writeFile(directory + "/script-" + std::to_string(i), parts[size_t(i) + 1]);
    }
    fuzzcheck::writeFile(directory + "/count", "0");

    bibsources::ConversionSettings settings;
    settings.helperPath = BIBSOURCES_FAKE_WORKER;
    settings.helperTimeoutSeconds = 0.2; // a silent worker costs this much of every run that has one
    fuzzcheck::checkDocument(bibsources::buildDocument({bibPath}, settings), input);

    // Every restart starts further on or repeats a step carefully once; a
    // loop that ignores what a worker says would start far more often.
    int starts = 0;
    std::ifstream(directory + "/count") >> starts;
    check(starts <= 3 * (int(parts[0].size()) + 2), "the converter kept restarting workers", input);
    return 0;
}
