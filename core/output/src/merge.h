#pragma once

#include "bibsources/conversion.h"
#include "converted_records.h"
#include "source_list.h"
#include "xml.h"

#include <string>

namespace bibsources {

// Hands sink, piece by piece, the existing source list with the converted
// records merged in, and says what became of each. Works on the list's text
// alone: where it came from (a file, a document's part) is the caller's
// business.
//
// The text is the existing one unchanged, except that
// - a record gives way to a converted record that is the same source
//   converted again: one with its tag, and, when the converted tag was made
//   up (ConvertedRecord::generatedTag), its Guid too. Of records that share
//   a tag, the one with the converted record's Guid gives way, else the
//   first; the others are kept as they are and the report says so;
// - a converted record whose tag the list or an earlier converted record
//   holds for another source is given a fresh one (the tag followed by a, b,
//   ... z, aa, ...) that neither holds, and the report says so;
// - the other converted records are added before the root's end tag, in
//   their order.
// Records of either side without a tag never match. Records put in follow
// the list's layout (listStyleOf), and carry a declaration of the b prefix
// where the list's root binds it otherwise. Each tag of the result names one
// source: records the list had with the same tag stay as they were.
struct MergeOutcome {
    MergeReport report;
    std::string error; // empty, or why the merged text is incomplete
};

MergeOutcome writeMergedSourceList(
    const SourceList &existing, const ConvertedRecords &converted, const TextSink &sink);

} // namespace bibsources
