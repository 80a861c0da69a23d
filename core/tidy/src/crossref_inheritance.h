#pragma once

#include "entry.h"

#include <functional>
#include <string>
#include <string_view>

namespace bibsources {

// The child entry with what it inherits from the parent its crossref names,
// as biblatex inherits:
// - the parent's title, subtitle and titleaddon become the child's book
//   title parts (booktitle, booksubtitle, booktitleaddon), or its journal
//   title parts when the parent is a periodical;
// - shorttitle, sorttitle, indextitle and indexsorttitle, and the fields
//   that name or sort the parent itself (crossref, ids, label, shorthand,
//   sortkey, ...), are not inherited;
// - every other field the child lacks is inherited; a field the child has
//   under another of its names counts as had (location and address are one
//   field, so are journal and journaltitle, school and institution; one
//   given empty counts as missing), and a child with a date or a year takes
//   neither from the parent.
// The child's own fields always win and keep their order; inherited fields
// follow them.
Entry withInherited(const Entry &child, const Entry &parent);

// The entry with a key (compared without regard to case), or nullptr when
// no such entry is known.
using EntryLookup = std::function<const Entry *(std::string_view key)>;

struct Resolved {
    Entry entry; // the child with all it inherits
    // What went wrong on the way, as a clause for "entry 'a' near line 3 ...":
    // "names itself as its crossref", "is in a crossref cycle: a → b → a",
    // "names crossref 'x', which is not in the file". Empty when nothing did.
    std::string problem;
};

// Follows the crossref of `child` to its parent, and the parent's to its
// own, inheriting at each step (the nearer entry wins), until an entry has
// no crossref, names one that `find` does not know, or closes a cycle.
Resolved resolveCrossrefs(const Entry &child, const EntryLookup &find);

// The crossref `entry` names, or empty.
std::string_view crossrefOf(const Entry &entry);

} // namespace bibsources
