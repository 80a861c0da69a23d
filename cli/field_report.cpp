#include "field_report.h"

#include <cerrno>
#include <cstring>

namespace bibsources::cli {

namespace {

void appendCell(std::string &line, std::string_view value)
{
    for (const char c : value) {
        line += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    }
}

} // namespace

std::string FieldReportFile::failure() const
{
    const std::string named = path == "-" ? "the report to standard output" : "the report '" + path + "'";
    return "cannot write " + named + ": " + std::strerror(errno);
}

std::string reportLine(const FieldReportRow &row)
{
    std::string line = std::to_string(row.line);
    for (const std::string_view cell : {row.key, row.tag, row.field, row.element, row.note}) {
        line += '\t';
        appendCell(line, cell);
    }
    line += '\n';
    return line;
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
    table << "line\tkey\ttag\tfield\telement\tnote\n";
}

void FieldReportFile::add(const FieldReportRow &row)
{
    if (problem.empty()) {
        table << reportLine(row);
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
