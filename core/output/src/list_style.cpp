#include "list_style.h"

#include <optional>
#include <vector>

namespace bibsources {

namespace {

std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
        std::string_view line = text.substr(start, end - start);
        lines.push_back(line.ends_with('\r') ? line.substr(0, line.size() - 1) : line);
        start = end + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::string_view indentationOf(std::string_view line)
{
    return line.substr(0, std::min(line.find_first_not_of(" \t"), line.size()));
}

// How a line changes the nesting level: an end tag first closes one, a start
// tag not closed on the same line opens one. Only holds for records written
// one element per line, which is all this is asked about.
bool closesFirst(std::string_view content)
{
    return content.starts_with("</");
}

bool opensLevel(std::string_view content)
{
    return content.starts_with('<') && !content.starts_with("</") && !content.starts_with("<!--")
        && !content.starts_with("<?") && content.find("</") == std::string_view::npos
        && !content.ends_with("/>");
}

// The indentation before each record when every record starts a line of its
// own: one string when all share it, none when they differ.
struct RecordStarts {
    bool eachOnALine = true;
    std::optional<std::string> sharedIndent;
};

RecordStarts recordStartsOf(const SourceList &list)
{
    RecordStarts starts;
    bool uniform = true;
    for (const SourceListRecord &record : list.records) {
        const size_t lineStart = list.text.rfind('\n', record.begin == 0 ? 0 : record.begin - 1);
        const std::string_view before = lineStart == std::string::npos
            ? std::string_view("?")
            : std::string_view(list.text).substr(lineStart + 1, record.begin - lineStart - 1);
        if (before.find_first_not_of(" \t") != std::string_view::npos) {
            return RecordStarts{false, std::nullopt};
        }
        uniform = uniform && (!starts.sharedIndent || *starts.sharedIndent == before);
        starts.sharedIndent = std::string(before);
    }
    if (!uniform) {
        starts.sharedIndent.reset();
    }
    return starts;
}

// What each nesting level adds inside the records, when every line of every
// record keeps to it; none otherwise.
std::optional<std::string> sharedLevelIndent(const SourceList &list, std::string_view recordIndent)
{
    std::optional<std::string> unit;
    for (const SourceListRecord &record : list.records) {
        int level = 0;
        bool first = true;
        for (const std::string_view line : linesOf(list.recordText(record))) {
            const std::string_view indent = first ? recordIndent : indentationOf(line);
            const std::string_view content = first ? line : line.substr(indent.size());
            first = false;
            // A line that goes on with a text is the text's own business;
            // the line that ends it closes the element the text is in.
            if (!content.starts_with('<')) {
                level -= content.find("</") != std::string_view::npos ? 1 : 0;
                continue;
            }
            level -= closesFirst(content) ? 1 : 0;
            if (level < 0 || !indent.starts_with(recordIndent)) {
                return std::nullopt;
            }
            const std::string_view extra = indent.substr(recordIndent.size());
            if (level == 1 && !unit) {
                unit = std::string(extra);
            }
            std::string expected;
            for (int i = 0; i < level && unit; ++i) {
                expected += *unit;
            }
            if (extra != expected) {
                return std::nullopt;
            }
            level += opensLevel(content) ? 1 : 0;
        }
    }
    return unit.value_or("");
}

// The lines of a converted record: it breaks a line only between two tags.
// A line break inside a field's text is part of the text, and stays.
std::vector<std::string_view> elementLinesOf(std::string_view record)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t end = record.find(">\n"); end != std::string_view::npos; end = record.find(">\n", start)) {
        lines.push_back(record.substr(start, end + 1 - start));
        start = end + 2;
    }
    if (start < record.size()) {
        lines.push_back(record.substr(start));
    }
    return lines;
}

// A line break inside a text, in the list's own line ends; a parser reads
// either as one line feed.
void appendText(std::string &out, std::string_view text, const ListStyle &style)
{
    for (const char c : text) {
        if (c == '\n') {
            out += style.newline;
        } else {
            out += c;
        }
    }
}

// Whether a record breaks a line after a tag. A line break inside a text is
// the text's own, and says nothing about the layout.
bool breaksBetweenTags(std::string_view record)
{
    return record.find(">\n") != std::string_view::npos || record.find(">\r\n") != std::string_view::npos;
}

} // namespace

ListStyle listStyleOf(const SourceList &list)
{
    ListStyle style;
    const size_t firstBreak = list.text.find('\n');
    if (firstBreak != std::string::npos && firstBreak > 0 && list.text[firstBreak - 1] == '\r') {
        style.newline = "\r\n";
    }
    if (list.records.empty()) {
        return style;
    }
    style.oneLine = true;
    for (const SourceListRecord &record : list.records) {
        style.oneLine = style.oneLine && !breaksBetweenTags(list.recordText(record));
    }
    const RecordStarts starts = recordStartsOf(list);
    style.recordPerLine = starts.eachOnALine;
    style.recordIndent = starts.sharedIndent.value_or("");
    if (!style.oneLine && starts.sharedIndent) {
        style.levelIndent = sharedLevelIndent(list, style.recordIndent).value_or("");
    }
    return style;
}

std::string styledRecord(std::string_view record, const ListStyle &style)
{
    std::string out;
    out.reserve(record.size() + record.size() / 8);
    int level = 0;
    bool first = true;
    for (const std::string_view line : elementLinesOf(record)) {
        level -= closesFirst(line) ? 1 : 0;
        if (!first && !style.oneLine) {
            out += style.newline;
            out += style.recordIndent;
            for (int i = 0; i < level; ++i) {
                out += style.levelIndent;
            }
        }
        first = false;
        appendText(out, line, style);
        level += opensLevel(line) ? 1 : 0;
    }
    return out;
}

} // namespace bibsources
