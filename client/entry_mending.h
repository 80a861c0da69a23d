#pragma once

#include "entry.h"

#include <optional>
#include <string>
#include <string_view>

namespace bibsources {

// An entry the parser skipped, as it may read once mended.
struct MendedEntry {
    std::string text; // the entry's text with the mending
    // The entry's own key when `text` gives it a stand-in: empty for an
    // entry written without one.
    std::optional<std::string> key;
    bool closed = false; // the closing brace (or parenthesis) was added
};

// The key `text` gives a skipped entry in place of its own.
constexpr std::string_view standInKey = "bibsourcesStandInKey";

// Mends the three slips that make btparse skip an entry BibTeX reads:
// - a body never closed, where every value is closed and only the entry's
//   own brace or parenthesis is open at the end (the missing closing brace
//   of a hand-edited file): the closer is added after its last non-blank;
// - a key holding a character btparse does not allow in one ("(", ")",
//   "\"", "#", "%" or "="), as reference managers write
//   "Agilent(2022)ModificationsImproveType": the key becomes standInKey;
// - no key at all, the body starting with its first field
//   ("@article{ author = ..."), as EndNote writes an entry it has no label
//   for: standInKey is put before the field.
// `entryText` runs from the entry's "@" to where the next entry starts.
// nullopt when neither applies, or the text is still broken otherwise.
std::optional<MendedEntry> mendEntry(std::string_view entryText);

// True when a value of `entry` holds what looks like another field: a name
// and "=" after a comma or a line break ("Fourth, year = 2004"). Closing an
// entry whose value swallowed the fields after it would keep a wrong
// record, so such an entry stays skipped.
bool valueHoldsAField(const Entry &entry);

} // namespace bibsources
