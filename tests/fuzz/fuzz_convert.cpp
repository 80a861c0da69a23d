// Fuzzes a whole conversion, through the real parser worker, on arbitrary
// input files: whatever the file holds, the converter comes back (a hang is
// caught by libFuzzer's -timeout) with a document that passes
// fuzzcheck::checkDocument. Each run starts a worker, so this target is slow;
// it finds what the pure targets cannot: mistakes in how entries cross the
// pipe, how a worker's death is survived, and how records are put together.

#include "fuzz_document.h"

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

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xmlInitParser();
    inputPath = fuzzcheck::scratchDirectory("fuzz_convert") + "/input.bib";

    // A worker that cannot start fails every input the same harmless way, and
    // the run would test nothing; one known entry must come through first.
    fuzzcheck::writeFile(inputPath, "@article{probe, author = {Doe, Jane}, title = {Probe}}\n");
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
    fuzzcheck::writeFile(inputPath, input);
    fuzzcheck::checkDocument(bibsources::buildDocument({inputPath}, settings()), input);
    return 0;
}
