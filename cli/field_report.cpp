#include "field_report.h"

#include <bibsources/field_report.h>

#include <cerrno>
#include <cstring>

namespace bibsources::cli {

std::string FieldReportFile::failure() const
{
    const std::string named = path == "-" ? "the report to standard output" : "the report '" + path + "'";
    return "cannot write " + named + ": " + std::strerror(errno);
}

FieldReportFile::FieldReportFile(const std::string &path, std::ostream &standardOutput)
    : path(path)
    , table(path == "-" ? standardOutput : file)
{
    if (path != "-") {
        file.open(path, std::ios::binary | std::ios::trunc);
    }
    if (!table) {
        problem = failure();
        return;
    }
    table << fieldReportHeader;
}

void FieldReportFile::add(const FieldReportRow &row)
{
    if (problem.empty()) {
        table << fieldReportLine(row);
    }
}

const std::string &FieldReportFile::finish()
{
    if (problem.empty()) {
        if (path == "-") {
            table.flush();
        } else {
            file.close();
        }
        if (!table) {
            problem = failure();
        }
    }
    return problem;
}

} // namespace bibsources::cli
