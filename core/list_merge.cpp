#include "list_merge.h"

namespace bibsources {

namespace {

// The list is read before any input, so that a list that cannot be merged
// into is refused before a long conversion.
class ListMergeTarget final : public RecordTarget {
public:
    ListMergeTarget(
        std::unique_ptr<MergedListPlace> place, std::string outputPath, const ConversionSettings &settings)
        : place(std::move(place))
        , outputPath(std::move(outputPath))
        , converted(settings.temporaryFolder)
    {
    }

    ConversionResult open() override
    {
        ConversionResult result;
        result.outputPath = outputPath;
        if (const std::string error = place->open(); !error.empty()) {
            result.error = error + "; nothing was written";
            result.stopped = place->stopped();
            return result;
        }
        tags = tagsHeldBy(place->list());
        return result;
    }

    TagBook *tagsTaken() override { return &tags; }

    void append(std::string_view text) override { converted.append(text); }

    std::string appendError() const override { return converted.error(); }

    ConversionResult commit(ConversionResult result) override
    {
        markMadeUpTags(converted, tags);
        MergeOutcome merged = place->commit(converted);
        result.merge = std::move(merged.report);
        result.error = std::move(merged.error);
        return result;
    }

private:
    std::unique_ptr<MergedListPlace> place;
    std::string outputPath;
    TagBook tags;
    ConvertedRecords converted;
};

class ListInMemory final : public MergedListPlace {
public:
    ListInMemory(SourceListFile read, TextSink sink)
        : read(std::move(read))
        , sink(std::move(sink))
    {
    }

    std::string open() override { return read.error; }

    const SourceList &list() const override { return read.list; }

    MergeOutcome commit(const ConvertedRecords &converted) override
    {
        MergeOutcome outcome = writeMergedSourceList(read.list, converted, sink);
        outcome.report.merged = true;
        return outcome;
    }

private:
    SourceListFile read;
    TextSink sink;
};

} // namespace

TagBook tagsHeldBy(const SourceList &list)
{
    TagBook tags;
    for (const SourceListRecord &record : list.records) {
        if (record.tag) {
            tags.holdListed(*record.tag, record.guid);
        }
    }
    return tags;
}

void markMadeUpTags(ConvertedRecords &converted, const TagBook &tags)
{
    for (ConvertedRecord &record : converted.records()) {
        record.generatedTag = tags.isMadeUp(record.tag);
    }
}

std::unique_ptr<RecordTarget> listMergeTarget(
    std::unique_ptr<MergedListPlace> place, std::string outputPath, const ConversionSettings &settings)
{
    return std::make_unique<ListMergeTarget>(std::move(place), std::move(outputPath), settings);
}

std::unique_ptr<MergedListPlace> listInMemory(SourceListFile read, TextSink sink)
{
    return std::make_unique<ListInMemory>(std::move(read), std::move(sink));
}

std::unique_ptr<RecordTarget> mergedCopyTarget(
    const std::string &listPath, TextSink sink, const ConversionSettings &settings)
{
    SourceListFile read = readSourceListFile(listPath);
    if (!read.exists) {
        read.error = "'" + listPath + "' does not exist";
    }
    return listMergeTarget(listInMemory(std::move(read), std::move(sink)), listPath, settings);
}

} // namespace bibsources
