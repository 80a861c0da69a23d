#pragma once

#include "merge_file.h"
#include "record_target.h"

#include <memory>
#include <string>

namespace bibsources {

// Where the source list a run merges into comes from and where the merged
// list goes: a file replaced under its lock (--merge), or a list read once
// and merged into a copy handed out as text (the page).
class MergedListPlace {
public:
    virtual ~MergedListPlace() = default;

    // Reads the list, before any input is read. Empty, or the sentence
    // saying why nothing can be merged into it.
    virtual std::string open() = 0;
    // Whether open() failed because the run's stop was requested.
    virtual bool stopped() const { return false; }
    // The list open() read.
    virtual const SourceList &list() const = 0;
    // Merges converted into the list and puts the merged list in place;
    // outcome.error is empty when it was.
    virtual MergeOutcome commit(const ConvertedRecords &converted) = 0;
};

// Every tag list holds, for a run whose records are merged into it: a
// made-up tag never takes one of them (TagBook::holdListed).
TagBook tagsHeldBy(const SourceList &list);

// Marks each record whose tag the run made up, which the merge never takes
// for the same source as a listed record of that tag.
void markMadeUpTags(ConvertedRecords &converted, const TagBook &tags);

// The converted records merged into the list at place: the list's tags are
// held, so that a made-up tag never takes one of them, and the records are
// kept as they are made, then merged (writeMergedSourceList) once every
// input was read. result.outputPath is outputPath.
std::unique_ptr<RecordTarget> listMergeTarget(
    std::unique_ptr<MergedListPlace> place, std::string outputPath, const ConversionSettings &settings);

// A list already read (from a file, or parsed from its bytes), merged into
// in memory: open() fails with read.error, commit() hands the merged list
// to sink, piece by piece (incomplete when outcome.error is not empty).
std::unique_ptr<MergedListPlace> listInMemory(SourceListFile read, TextSink sink);

} // namespace bibsources
