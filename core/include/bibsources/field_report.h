#pragma once

#include <bibsources/conversion.h>

#include <string>
#include <string_view>

namespace bibsources {

// The report of every field (--report, and the page's field table): a
// tab-separated table, this header and then one row per field of every
// converted entry, in the order the records are made.
inline constexpr std::string_view fieldReportHeader = "line\tkey\ttag\tfield\telement\tnote\n";

// One row of the table, with its line feed. A tab or line break inside a
// value becomes a blank, so every row has six cells.
std::string fieldReportLine(const FieldReportRow &row);

} // namespace bibsources
