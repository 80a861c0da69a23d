#include "record_target.h"

#include "document.h"
#include "merge_file.h"

#include <optional>

namespace bibsources {

namespace {

// The converted records merged into the source list at outputPath, or into
// a new one. The list is locked and read before any input, so that a list
// that cannot be merged into is refused before a long conversion.
class ListMergeTarget final : public RecordTarget {
public:
    ListMergeTarget(
        const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
        : outputPath(outputPath)
        , settings(settings)
        , hooks(hooks)
        , converted(settings.temporaryFolder)
    {
    }

    ConversionResult open() override
    {
        ConversionResult result;
        result.outputPath = outputPath;
        merge.emplace(outputPath,
            ListMergeSettings{emptySourceList(), settings.temporaryFolder,
                ListLockHooks{hooks.waitingForList, hooks.stop}});
        if (!merge->error().empty()) {
            result.error = merge->error() + "; nothing was written";
            result.stopped = merge->stopped();
            return result;
        }
        for (const SourceListRecord &record : merge->list().records) {
            if (record.tag) {
                tags.holdListed(*record.tag, record.guid);
            }
        }
        return result;
    }

    TagBook *tagsTaken() override { return &tags; }

    void append(std::string_view text) override { converted.append(text); }

    std::string appendError() const override { return converted.error(); }

    ConversionResult commit(ConversionResult result) override
    {
        for (ConvertedRecord &record : converted.records()) {
            record.generatedTag = tags.isMadeUp(record.tag);
        }
        MergeOutcome merged = merge->commit(converted);
        result.merge = std::move(merged.report);
        result.error = std::move(merged.error);
        return result;
    }

private:
    std::string outputPath;
    const ConversionSettings &settings;
    const ConversionHooks &hooks;
    std::optional<SourceListFileMerge> merge;
    TagBook tags;
    ConvertedRecords converted;
};

} // namespace

std::unique_ptr<RecordTarget> listMergeTarget(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
{
    return std::make_unique<ListMergeTarget>(outputPath, settings, hooks);
}

} // namespace bibsources
