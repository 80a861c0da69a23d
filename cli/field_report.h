#pragma once

#include <bibsources/conversion.h>

#include <fstream>
#include <string>

namespace bibsources::cli {

// The --report file: the table of bibsources/field_report.h. The path "-"
// is standard output.
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

} // namespace bibsources::cli
