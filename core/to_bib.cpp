#include "bibsources/conversion.h"

#include "document_citations.h"
#include "lists_to_bib.h"
#include "merge_file.h"
#include "record_target.h"
#include "xml.h"

#include <filesystem>

namespace bibsources {

namespace {

ListRead documentList(const std::string &path)
{
    if (const std::string problem = notADocumentFile(path); !problem.empty()) {
        return {{}, "cannot read '" + path + "': " + problem};
    }
    WordPackage document = openWordPackage(path);
    if (!document.ok()) {
        return {{}, document.error};
    }
    if (!document.listPart) {
        return {{}, "'" + path + "' has no source list of its own; there is nothing to write"};
    }
    SourceListParse parsed = parseSourceList(std::move(document.listText), path + " (its source list)");
    return {std::move(parsed.list.text), parsed.error};
}

ListRead listOf(const std::string &path)
{
    if (isDocumentTarget(path)) {
        return documentList(path);
    }
    return listFileOf(path);
}

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
    result = written(bibOf(inputPaths, listOf, [&](std::string_view text) { file.append(text); }), file);
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
    return written(bibOf(inputPaths, listOf, [&](std::string_view text) { spool.append(text); }), spool);
}

} // namespace bibsources
