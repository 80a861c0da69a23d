#pragma once

#include "bibsources/conversion.h"
#include "source_list.h"
#include "xml.h"

#include <string>

namespace bibsources {

// Hands sink, piece by piece, the existing source list with the converted
// records merged in, and says how many records were kept, replaced and
// added. The text is the existing one unchanged, except that
// - the records whose tag is converted again give way to the converted
//   records of that tag: all of them, in their order, where the first such
//   record stood; its later namesakes are dropped;
// - the converted records with tags it lacks are added before the root's end
//   tag, in their order, one to a line.
// Records of either list without a tag never match. A converted record
// carries the namespace declarations it needs where the existing root binds
// its prefixes otherwise; nothing else in it changes.
MergeReport writeMergedSourceList(
    const SourceList &existing, const SourceList &converted, const TextSink &sink);

struct MergeOutcome {
    MergeReport report;
    std::string error; // empty when the file was replaced; else why nothing was written
};

// Merges convertedDocument (a whole document as the converter writes it)
// into existing and replaces the file at outputPath with the result in one
// step.
MergeOutcome replaceWithMerged(
    const std::string &outputPath, const SourceList &existing, std::string convertedDocument);

} // namespace bibsources
