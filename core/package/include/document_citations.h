#pragma once

// What other rooms may include of the package room: a Word document's parts,
// its own source list, and the sources its citation fields name.

#include "../src/citation_fields.h"
#include "../src/word_package.h"

namespace bibsources {

// The most a part read for its citations may unpack to: far more than the
// text of any book.
constexpr std::size_t citationPartLimit = std::size_t(256) << 20;

// The tags the citation fields of a document name: in its main part and in
// the footnotes and endnotes it links to, each tag once, in the order first
// met (main part first). The error, when a part cannot be read, is phrased
// like the package's own: "its part 'word/document.xml' is damaged ...".
CitedTags documentCitedTags(const WordPackage &document);

} // namespace bibsources
