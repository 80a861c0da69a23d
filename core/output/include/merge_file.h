#pragma once

// What other rooms may include of the output room: the atomic write, reading
// a source list, merging into it under its lock, and the merge of a file.

#include "../src/atomic_write.h"
#include "../src/converted_records.h"
#include "../src/list_lock.h"
#include "../src/merge.h"
#include "../src/source_list.h"

#include <memory>
#include <string>

namespace bibsources {

struct ListMergeSettings {
    // The text of a source list without records, merged into when there is
    // no list at the path (yet, or any more).
    std::string emptyListText;
    std::string spoolFolder; // where the merged list waits on a device; empty: /tmp
    ListLockHooks lockHooks;
};

// A merge into the source list file at a path: the file-specific layer
// around writeMergedSourceList. Made before any input is read, so that a
// list that cannot be merged into is refused at once:
// - a FIFO, socket, device or directory is refused without being opened;
// - a list the user may not replace, or not read, is refused;
// - runs of this program merging into the same list wait for each other
//   (ListLock), and the list is read under the lock.
// commit() then replaces the file, but only with a version built on what the
// file holds at that moment: when another program saved or removed the list
// in the meantime, the records are merged again onto what is there now (a
// removed list is not brought back), and after a few changes in a row the
// file is left alone.
class SourceListFileMerge {
public:
    SourceListFileMerge(std::string path, ListMergeSettings settings);

    // Empty, or the sentence saying why nothing can be merged into the list.
    const std::string &error() const { return failure; }
    bool stopped() const { return lock.stopped(); }
    // The list as read under the lock; the empty list where there is none.
    const SourceList &list() const { return current.list; }
    bool listExists() const { return current.exists; }

    // Merges converted into the list and replaces the file in one step.
    // outcome.error is empty when the file was replaced; else it says why
    // nothing was written.
    MergeOutcome commit(const ConvertedRecords &converted);

private:
    bool readList();

    std::string path;
    ListMergeSettings settings;
    ListLock lock;
    SourceListFile current;
    FileStamp stamp; // of the list as read
    std::unique_ptr<AtomicFile> file;
    std::string failure;
};

} // namespace bibsources
