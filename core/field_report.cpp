#include <bibsources/field_report.h>

namespace bibsources {

namespace {

void appendCell(std::string &line, std::string_view value)
{
    for (const char c : value) {
        line += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    }
}

} // namespace

std::string fieldReportLine(const FieldReportRow &row)
{
    std::string line = std::to_string(row.line);
    for (const std::string_view cell : {row.key, row.tag, row.field, row.element, row.note}) {
        line += '\t';
        appendCell(line, cell);
    }
    line += '\n';
    return line;
}

} // namespace bibsources
