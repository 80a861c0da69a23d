#include "record_target.h"

#include "document.h"
#include "list_merge.h"

#include <optional>

namespace bibsources {

namespace {

// The source list file at a path, or a new one where there is none: locked
// and read when opened, replaced in one step on commit.
class ListFile final : public MergedListPlace {
public:
    ListFile(const std::string &path, const ConversionSettings &settings, const ConversionHooks &hooks)
        : path(path)
        , settings(settings)
        , hooks(hooks)
    {
    }

    std::string open() override
    {
        merge.emplace(path,
            ListMergeSettings{emptySourceList(), settings.temporaryFolder,
                ListLockHooks{hooks.waitingForList, hooks.stop}});
        return merge->error();
    }

    bool stopped() const override { return merge && merge->stopped(); }

    const SourceList &list() const override { return merge->list(); }

    MergeOutcome commit(const ConvertedRecords &converted) override { return merge->commit(converted); }

private:
    std::string path;
    const ConversionSettings &settings;
    const ConversionHooks &hooks;
    std::optional<SourceListFileMerge> merge;
};

} // namespace

std::unique_ptr<RecordTarget> listMergeTarget(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
{
    return listMergeTarget(std::make_unique<ListFile>(outputPath, settings, hooks), outputPath, settings);
}

} // namespace bibsources
