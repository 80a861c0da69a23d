#pragma once

#include "document.h"
#include "source_list.h"

#include <string>

namespace bibsources {

// Hands sink, piece by piece, the existing source list with the converted
// records merged in: its text
// unchanged except that the records whose tag is converted again give way to
// the converted records of that tag (all of them, in their order, where the
// first such record stood; its later namesakes are dropped), and the
// converted records with tags it lacks are added before the root's end tag,
// in their order, one to a line. Records of either list without a tag never
// match.
void writeMergedSourceList(const SourceList &existing, const SourceList &converted, const TextSink &sink);

// Merges convertedDocument (a whole document as the converter writes it)
// into existing and replaces the file at outputPath with the result in one
// step. Returns an empty string on success, else why nothing was written.
std::string replaceWithMerged(
    const std::string &outputPath, const SourceList &existing, std::string convertedDocument);

} // namespace bibsources
