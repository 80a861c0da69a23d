#pragma once

#include <bibsources/conversion.h>

#include <fstream>
#include <string>

namespace bibsources::cli {

// The --report file: a tab-separated table with the header
// "line key tag field element note" and one row per field of every
// converted entry, in the order the records are made. The path "-" is
// standard output.
class FieldReportFile {
public:
    // Opens (and empties) the file, or takes standardOutput for "-", and
    // writes the header.
    FieldReportFile(const std::string &path, std::ostream &standardOutput);

    // Why the file cannot be written, in words; empty while all is well.
    const std::string &error() const { return problem; }

    void add(const FieldReportRow &row);
    // Writes out what is buffered and closes the file; returns error().
    const std::string &finish();

private:
    std::string failure() const;

    std::string path;
    std::ofstream file;
    std::ostream &table;
    std::string problem;
};

// One row of the table, with its line feed. A tab or line break inside a
// value becomes a blank, so every row has six cells.
std::string reportLine(const FieldReportRow &row);

} // namespace bibsources::cli
