// Fuzzes reading an existing source list, whatever a user's disk holds, and
// merging into it a fixed set of converted records with tags a list may hold:
//  - reading never fails without a reason, and a list that is read has its
//    records in order, inside the text, each from a '<' to a '>', before the
//    place where records are added;
//  - the merged list reads again, keeps byte for byte every record that did
//    not give way, and its report accounts for every record of both sides;
//  - merging the same records into it again changes nothing;
//  - a list whose tags are unique comes out with unique tags.

#include "fuzz_check.h"

#include "converted_records.h"
#include "merge.h"
#include "source_list.h"

#include <libxml/parser.h>

#include <algorithm>
#include <set>

using fuzzcheck::check;

namespace {

const std::string convertedDocument
    = "<?xml version=\"1.0\"?>\n<b:Sources SelectedStyle=\"\" "
      "xmlns:b=\"http://schemas.openxmlformats.org/officeDocument/2006/bibliography\">\n"
      "<b:Source>\n<b:Tag>a</b:Tag>\n<b:Guid>{A}</b:Guid>\n<b:Title>x &amp; y</b:Title>\n</b:Source>\n"
      "<b:Source>\n<b:Tag>b</b:Tag>\n<b:Guid>{B}</b:Guid>\n<b:Author>\n<b:Author>\n"
      "<b:Corporate>C\nD</b:Corporate>\n</b:Author>\n</b:Author>\n</b:Source>\n"
      "<b:Source>\n<b:Tag>a</b:Tag>\n<b:Guid>{A2}</b:Guid>\n</b:Source>\n"
      "<b:Source>\n<b:Tag>Smith2001</b:Tag>\n<b:Guid>{S}</b:Guid>\n</b:Source>\n"
      "</b:Sources>\n";

bibsources::ConvertedRecords converted()
{
    bibsources::ConvertedRecords records;
    records.append(convertedDocument);
    records.records().back().generatedTag = true;
    return records;
}

// The list with the converted records merged in, and the report of it.
std::pair<std::string, bibsources::MergeReport> merged(const bibsources::SourceList &list)
{
    std::string text;
    const bibsources::MergeOutcome outcome = bibsources::writeMergedSourceList(
        list, converted(), [&](std::string_view piece) { text += piece; });
    check(outcome.error.empty(), "merging failed", list.text);
    return {text, outcome.report};
}

bool tagsUnique(const bibsources::SourceList &list)
{
    std::set<std::string> seen;
    return std::ranges::all_of(list.records, [&](const bibsources::SourceListRecord &record) {
        return !record.tag || record.tag->empty() || seen.insert(*record.tag).second;
    });
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xmlInitParser();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace bibsources;
    const std::string input(reinterpret_cast<const char *>(data), size);
    const SourceListParse parsed = parseSourceList(input, "list.xml");
    if (!parsed.ok()) {
        check(parsed.error.starts_with("'list.xml' "), "a refusal does not name the list", input);
        return 0;
    }
    const SourceList &list = parsed.list;
    size_t position = 0;
    for (const SourceListRecord &record : list.records) {
        check(record.begin >= position && record.begin < record.end && record.end <= list.text.size(),
            "records overlap or lie outside the text", input);
        check(list.text[record.begin] == '<' && list.text[record.end - 1] == '>',
            "a record does not run from '<' to '>'", input);
        position = record.end;
    }
    check(list.recordsEnd >= position && list.recordsEnd < list.text.size(), "records are added out of place",
        input);

    const auto [once, report] = merged(list);
    const SourceListParse reread = parseSourceList(once, "merged.xml");
    check(reread.ok(), "the merged list does not read again", once);
    check(report.recordsKept + report.recordsReplaced == static_cast<int>(list.records.size()),
        "the report loses a record of the list", input);
    check(report.recordsReplaced + report.recordsAdded == 4, "the report loses a converted record", input);
    check(static_cast<int>(reread.list.records.size()) == report.recordsKept + 4,
        "the merged list lost a record", once);
    int stillThere = 0;
    for (const SourceListRecord &record : list.records) {
        stillThere += once.find(list.recordText(record)) != std::string::npos ? 1 : 0;
    }
    check(stillThere >= report.recordsKept, "a record kept is no longer there as it was", input);
    if (tagsUnique(list)) {
        check(tagsUnique(reread.list), "merging made a tag appear twice", once);
    }
    check(merged(reread.list).first == once, "merging the same records again changed the list", once);
    return 0;
}
