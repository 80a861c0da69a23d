#include "bibsources/conversion.h"

#include "merge_file.h"
#include "pipeline.h"
#include "record_target.h"

namespace bibsources {

std::string outputPathFor(std::string_view inputPath)
{
    // Plain text after the folder, no joining rule: "/refs.bib" gives
    // "//Sources.xml". A bare name stays in the current folder.
    return directoryOf(inputPath) + "/Sources.xml";
}

ConversionResult convertFile(const std::string &inputPath, const std::string &outputPath,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    return convertFiles(
        {inputPath}, outputPath.empty() ? outputPathFor(inputPath) : outputPath, settings, hooks);
}

ConversionResult convertFiles(const std::vector<std::string> &inputPaths, const std::string &outputPath,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    const std::unique_ptr<RecordTarget> target = targetFor(outputPath, settings, hooks);
    return runConversion(inputPaths, *target, settings, hooks);
}

ConversionResult convertToDescriptor(const std::vector<std::string> &inputPaths, int outputFd,
    const ConversionSettings &settings, const ConversionHooks &hooks)
{
    const std::unique_ptr<RecordTarget> target = descriptorTarget(outputFd, settings);
    return runConversion(inputPaths, *target, settings, hooks);
}

} // namespace bibsources
