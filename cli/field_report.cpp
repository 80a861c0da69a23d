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

FieldReportFile::FieldReportFile(const std::string &path)
    : path(path)
    , file(path, std::ios::binary | std::ios::trunc)
{
    if (!file) {
        problem = "cannot write the report '" + path + "': " + std::strerror(errno);
        return;
    }
    file << "line\tkey\ttag\tfield\telement\tnote\n";
}

void FieldReportFile::add(const FieldReportRow &row)
{
    if (problem.empty()) {
        file << reportLine(row);
    }
}

const std::string &FieldReportFile::finish()
{
    if (problem.empty()) {
        file.close();
        if (!file) {
            problem = "cannot write the report '" + path + "': " + std::strerror(errno);
        }
    }
    return problem;
}

} // namespace bibsources::cli
