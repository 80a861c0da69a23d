#pragma once

#include "source_list.h"

#include <string>
#include <string_view>

namespace bibsources {

// How the records of a source list are laid out, so that records added to it
// look like the ones it has.
struct ListStyle {
    std::string newline = "\n"; // "\r\n" in a list saved with CR LF line ends
    // Every record on one line with nothing between its elements, as the
    // word processor saves them.
    bool oneLine = false;
    // Records stand each on a line of their own, after this indentation.
    bool recordPerLine = true;
    std::string recordIndent;
    // What each level of nesting inside a record adds to its indentation.
    std::string levelIndent;
};

// The layout the records of list share. Where they differ, what they differ
// in is left as the converter writes it: a record per line, one element per
// line, no indentation. A list without records has only its line ends to
// follow.
ListStyle listStyleOf(const SourceList &list);

// A record as the converter writes it (one element per line, "\n" after
// each) laid out in style. The first line gets no indentation: it goes where
// the caller puts it. No line end follows the record.
std::string styledRecord(std::string_view record, const ListStyle &style);

} // namespace bibsources
