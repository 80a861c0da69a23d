#include "merge_file.h"

#include "atomic_write.h"

namespace bibsources {

namespace {

// A list that changes this many times while it is being merged into belongs,
// for now, to another program.
constexpr int mergeAttempts = 5;

} // namespace

SourceListFileMerge::SourceListFileMerge(std::string listPath, ListMergeSettings mergeSettings)
    : path(std::move(listPath))
    , settings(std::move(mergeSettings))
{
    if (const std::string problem = notARegularFile(path); !problem.empty()) {
        failure = "cannot merge into '" + path + "': " + problem + ", not a source list file";
        return;
    }
    if (!readList()) {
        return;
    }
    // Whether the list may be replaced is known before any input is read.
    file = std::make_unique<AtomicFile>(path, settings.spoolFolder);
    failure = file->error();
}

// Takes the lock on the list as it is now and reads it.
bool SourceListFileMerge::readList()
{
    lock = ListLock();
    lock = ListLock(path, settings.lockHooks);
    if (!lock.error().empty()) {
        failure = lock.error();
        return false;
    }
    if (lock.listFd() < 0) {
        current = SourceListFile{};
        current.list = parseSourceList(settings.emptyListText, path).list;
        stamp = FileStamp{};
        return true;
    }
    struct stat info { };
    ::fstat(lock.listFd(), &info);
    stamp = stampOf(info);
    current = readSourceListFrom(lock.listFd(), path);
    failure = current.error;
    return current.ok();
}

MergeOutcome SourceListFileMerge::commit(const ConvertedRecords &converted)
{
    MergeOutcome outcome;
    for (int attempt = 0; attempt < mergeAttempts; ++attempt) {
        if (!file) {
            if (!readList()) {
                outcome.error = failure;
                return outcome;
            }
            file = std::make_unique<AtomicFile>(path, settings.spoolFolder);
        }
        if (!file->error().empty()) {
            outcome.error = file->error();
            return outcome;
        }
        outcome = writeMergedSourceList(
            current.list, converted, [&](std::string_view text) { file->append(text); });
        outcome.report.merged = current.exists;
        if (!outcome.error.empty()) {
            return outcome;
        }
        outcome.error = file->commitIf([&] { return stampOf(path) == stamp; });
        if (!file->replacedNothing()) {
            return outcome;
        }
        file.reset();
    }
    outcome.error = "'" + path + "' was changed by another program " + std::to_string(mergeAttempts)
        + " times while it was being merged into, and was left as it is; try again once that program is "
          "done with it";
    return outcome;
}

} // namespace bibsources
