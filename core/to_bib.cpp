#include "bibsources/conversion.h"

#include "lists_to_bib.h"
#include "merge_file.h"
#include "record_target.h"
#include "xml.h"

#include <filesystem>

namespace bibsources {

namespace {

bool sameFile(const std::string &a, const std::string &b)
{
    std::error_code ignored;
    return std::filesystem::equivalent(a, b, ignored);
}

std::string outputProblem(const std::vector<std::string> &inputPaths, const std::string &outputPath)
{
    if (isDocumentTarget(outputPath)) {
        return "'" + outputPath
            + "' is a Word document, which the BibTeX text would replace; name a .bib file with -o";
    }
    for (const std::string &input : inputPaths) {
        if (sameFile(input, outputPath)) {
            return "'" + outputPath + "' is the input '" + input
                + "'; an input is never replaced: name another output with -o";
        }
    }
    return {};
}

ConversionResult written(ConversionResult result, AtomicFile &file)
{
    if (result.ok()) {
        result.error = file.commit();
    }
    return result;
}

} // namespace

std::string bibOutputPathFor(std::string_view inputPath)
{
    return directoryOf(inputPath) + "/Sources.bib";
}

ConversionResult convertToBib(const std::vector<std::string> &inputPaths, const std::string &outputPath,
    const ConversionSettings &settings)
{
    const std::string target
        = outputPath.empty() && !inputPaths.empty() ? bibOutputPathFor(inputPaths.front()) : outputPath;
    ConversionResult result;
    result.outputPath = target;
    if (std::string problem = outputProblem(inputPaths, target); !problem.empty()) {
        result.error = std::move(problem);
        return result;
    }
    AtomicFile file(target, settings.temporaryFolder);
    if (!file.error().empty()) {
        result.error = file.error();
        return result;
    }
    result = written(
        bibOf(inputPaths, listOrDocumentOf, [&](std::string_view text) { file.append(text); }), file);
    result.outputPath = target;
    return result;
}

ConversionResult convertToBibDescriptor(
    const std::vector<std::string> &inputPaths, int outputFd, const ConversionSettings &settings)
{
    AtomicFile spool(outputFd, settings.temporaryFolder);
    if (!spool.error().empty()) {
        ConversionResult result;
        result.error = spool.error();
        return result;
    }
    return written(
        bibOf(inputPaths, listOrDocumentOf, [&](std::string_view text) { spool.append(text); }), spool);
}

} // namespace bibsources
