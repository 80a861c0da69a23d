// Fuzzes a whole conversion, through the real parser worker, on arbitrary
// input files. Whatever the file holds, the converter comes back (no crash,
// no hang: libFuzzer's -timeout catches one), and the document it built is
// valid UTF-8 made only of XML characters, well-formed, with one b:Source
// record per record it reports.
//
// Each run starts a worker process, so this target is slow; it finds what
// the pure targets cannot: mistakes in how entries cross the pipe, how a
// worker's death is survived, and how records are put together.

#include "fuzz_check.h"

#include "document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using fuzzcheck::check;

namespace {

// The worker this build made, unless the caller names another.
bibsources::ConversionSettings settings()
{
    bibsources::ConversionSettings settings;
    const char *chosen = std::getenv("BIBSOURCES_WORKER");
    settings.helperPath = chosen && *chosen ? chosen : BIBSOURCES_FUZZ_WORKER;
    return settings;
}

std::string inputPath;

int countRecords(xmlNodePtr root)
{
    int records = 0;
    for (xmlNodePtr child = root->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE && xmlStrEqual(child->name, BAD_CAST "Source")) {
            ++records;
        }
    }
    return records;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xmlInitParser();
    // Under TMPDIR, which the smoke run points into its own scratch folder.
    std::string directory = (std::filesystem::temp_directory_path() / "fuzz_convert-XXXXXX").string();
    if (!mkdtemp(directory.data())) {
        std::perror("mkdtemp");
        std::abort();
    }
    inputPath = directory + "/input.bib";

    // A worker that cannot start fails every input the same harmless way, and
    // the run would test nothing; one known entry must come through first.
    std::FILE *file = std::fopen(inputPath.c_str(), "w");
    std::fputs("@article{probe, author = {Doe, Jane}, title = {Probe}}\n", file);
    std::fclose(file);
    const bibsources::Document probe = bibsources::buildDocument({inputPath}, settings());
    if (!probe.ok() || probe.inputs.front().recordsWritten != 1) {
        std::fprintf(stderr, "fuzz_convert: the worker %s does not convert a plain entry: %s\n",
            settings().helperPath.c_str(), probe.inputs.front().error.c_str());
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    std::FILE *file = std::fopen(inputPath.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::perror(inputPath.c_str());
        std::abort();
    }

    const bibsources::Document document = bibsources::buildDocument({inputPath}, settings());
    check(document.inputs.size() == 1, "one input gave another number of reports", input);
    const bibsources::InputReport &report = document.inputs.front();
    check(report.ok() || !report.error.empty(), "a failed input has no error message", input);

    const std::string &text = document.text;
    check(fuzzcheck::hasOnlyXmlChars(text), "the document is not XML-safe UTF-8", input);
    xmlDocPtr doc = xmlReadMemory(text.data(), int(text.size()), "Sources.xml", nullptr,
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    check(doc != nullptr, "the document is not well-formed XML", input);
    xmlNodePtr root = xmlDocGetRootElement(doc);
    check(root && xmlStrEqual(root->name, BAD_CAST "Sources"), "the root is not b:Sources", input);
    check(countRecords(root) == report.recordsWritten, "the number of records differs from the one reported",
        input);
    xmlFreeDoc(doc);
    return 0;
}
