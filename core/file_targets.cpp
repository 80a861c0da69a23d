#include "record_target.h"

#include "merge_file.h"

#include <unistd.h>

namespace bibsources {

namespace {

// Which output an unreadable input left alone, in the words of the message
// ("Sources.xml left as it was").
std::string outputLeftAlone(const std::string &outputPath)
{
    const std::string shown = outputPath.starts_with("./") ? outputPath.substr(2) : outputPath;
    return ::access(outputPath.c_str(), F_OK) == 0 ? shown + " left as it was" : shown + " not written";
}

// The records go to disk while the parser is still reading, so a large file
// is written in the time it takes to parse it. Nothing is put in place for an
// input we could not read: an existing Sources.xml is worth more than an
// incomplete one. An output that cannot be written is found before a
// possibly long read, not after it.
class FileTarget final : public RecordTarget {
public:
    FileTarget(const std::string &outputPath, const ConversionSettings &settings)
        : outputPath(outputPath)
        , file(outputPath, settings.temporaryFolder)
    {
    }

    ConversionResult open() override
    {
        ConversionResult result;
        result.outputPath = outputPath;
        result.error = file.error();
        return result;
    }

    void append(std::string_view text) override { file.append(text); }

    ConversionResult refused(ConversionResult result) const override
    {
        // With one input, the message says what became of its output.
        if (result.inputs.size() == 1) {
            result.error += "; " + outputLeftAlone(outputPath);
        }
        return result;
    }

    ConversionResult commit(ConversionResult result) override
    {
        result.error = file.commit();
        return result;
    }

private:
    std::string outputPath;
    AtomicFile file;
};

// Standard output, a pipe or a terminal: the document waits in a spool and
// is written into the descriptor once it is complete.
class DescriptorTarget final : public RecordTarget {
public:
    DescriptorTarget(int outputFd, const ConversionSettings &settings)
        : spool(outputFd, settings.temporaryFolder)
    {
    }

    ConversionResult open() override
    {
        ConversionResult result;
        result.error = spool.error();
        return result;
    }

    void append(std::string_view text) override { spool.append(text); }

    ConversionResult commit(ConversionResult result) override
    {
        result.error = spool.commit();
        return result;
    }

private:
    AtomicFile spool;
};

} // namespace

std::unique_ptr<RecordTarget> fileTarget(const std::string &outputPath, const ConversionSettings &settings)
{
    return std::make_unique<FileTarget>(outputPath, settings);
}

std::unique_ptr<RecordTarget> descriptorTarget(int outputFd, const ConversionSettings &settings)
{
    return std::make_unique<DescriptorTarget>(outputFd, settings);
}

std::unique_ptr<RecordTarget> targetFor(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
{
    if (isDocumentTarget(outputPath)) {
        return documentTarget(outputPath, settings, hooks);
    }
    if (settings.mergeIntoOutput) {
        return listMergeTarget(outputPath, settings, hooks);
    }
    return fileTarget(outputPath, settings);
}

} // namespace bibsources
