#pragma once

#include "xml.h"

#include <string>
#include <utility>
#include <vector>

namespace bibsources {

// One record of a source list as a BibTeX entry.
struct BibEntry {
    std::string type; // "article", ...
    std::string tag; // the record's b:Tag, as written; empty when it has none
    // Each field's name and its value as it stands after "name = ": a
    // braced value ("{...}") or a month macro ("sep").
    std::vector<std::pair<std::string, std::string>> fields;
};

// The entry a b:Source element becomes. Every child element is written
// somewhere: the mapped ones to their BibTeX fields, the rest (b:Guid,
// b:LCID, a role BibTeX has no field for, ...) to an "ms-" field of their
// lower-cased name, which BibTeX ignores.
//
// The field table's Direct and Back rows (field_table.h) send an element
// back to one field: b:Title to title (capitals protected), b:City to
// address, b:URL and b:DOI verbatim, b:Comments to note, b:Type to type,
// and so on. The rest is decided here:
//
//   b:Author/b:Editor/b:Translator   author/editor/translator (other roles: ms-role)
//   b:Corporate                      a braced name
//   b:BookTitle                      booktitle
//   b:ConferenceName                 booktitle of a conference paper without
//                                    a book title; else eventtitle
//   b:Month                          month (its macro: jan, ...)
//   b:Year/Month/DayAccessed         urldate (YYYY-MM-DD when all are numbers
//                                    or month names; else as written)
//   b:Institution                    institution (school for a thesis)
//   b:Issue                          number for an article, else issue
//   b:StandardNumber                 issn for an article, isbn for a book,
//                                    section, conference paper or patent,
//                                    number for the rest
//   b:PatentNumber                   number
//   b:ThesisType                     type (not for a kind the entry type says)
BibEntry bibEntry(const XmlElement *source);

// The entry as text, under key, ending in a blank line.
std::string bibEntryText(const BibEntry &entry, const std::string &key);

} // namespace bibsources
