#include "merge.h"

#include "atomic_write.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace bibsources {

namespace {

using RecordsByTag = std::unordered_map<std::string, std::vector<const SourceListRecord *>>;

RecordsByTag recordsByTag(const SourceList &list)
{
    RecordsByTag byTag;
    for (const SourceListRecord &record : list.records) {
        if (record.tag) {
            byTag[*record.tag].push_back(&record);
        }
    }
    return byTag;
}

std::unordered_set<std::string> tagsOf(const SourceList &list)
{
    std::unordered_set<std::string> tags;
    for (const SourceListRecord &record : list.records) {
        if (record.tag) {
            tags.insert(*record.tag);
        }
    }
    return tags;
}

std::string attributeValue(std::string_view text)
{
    std::string escaped;
    for (char c : text) {
        escaped += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '"' ? "&quot;" : std::string(1, c);
    }
    return escaped;
}

// The declarations a record needs (in a list saved with another prefix than
// ours, say) go right after its element's name; a prefix the record takes
// from the root is by definition not declared on its own start tag, so none
// can clash with an attribute it has.
void writeConverted(const SourceList &existing, const SourceList &converted, const SourceListRecord &record,
    const TextSink &sink)
{
    const std::string_view text = converted.text;
    sink(text.substr(record.begin, record.nameEnd - record.begin));
    for (const std::string &prefix : record.inheritedPrefixes) {
        const std::optional<std::string> wanted = converted.rootBinding(prefix);
        if (wanted != existing.rootBinding(prefix)) {
            sink(prefix.empty() ? " xmlns=\"" : " xmlns:" + prefix + "=\"");
            sink(attributeValue(wanted.value_or("")) + "\"");
        }
    }
    sink(text.substr(record.nameEnd, record.end - record.nameEnd));
}

// Converted records of one tag that stand together are kept apart by line
// breaks, as the converter writes them.
void writeReplacements(const SourceList &existing, const SourceList &converted,
    const std::vector<const SourceListRecord *> &replacements, const TextSink &sink)
{
    for (size_t i = 0; i < replacements.size(); ++i) {
        if (i > 0) {
            sink("\n");
        }
        writeConverted(existing, converted, *replacements[i], sink);
    }
}

} // namespace

MergeReport writeMergedSourceList(
    const SourceList &existing, const SourceList &converted, const TextSink &sink)
{
    MergeReport report;
    report.merged = true;
    const std::string_view text = existing.text;
    const RecordsByTag replacements = recordsByTag(converted);
    std::unordered_set<std::string> replaced;
    size_t position = 0;
    for (const SourceListRecord &record : existing.records) {
        sink(text.substr(position, record.begin - position));
        position = record.end;
        const auto found = record.tag ? replacements.find(*record.tag) : replacements.end();
        if (found == replacements.end()) {
            sink(existing.recordText(record));
            ++report.recordsKept;
            continue;
        }
        ++report.recordsReplaced;
        if (replaced.insert(*record.tag).second) {
            writeReplacements(existing, converted, found->second, sink);
        }
    }
    sink(text.substr(position, existing.recordsEnd - position));
    const std::unordered_set<std::string> existingTags = tagsOf(existing);
    for (const SourceListRecord &record : converted.records) {
        if (!record.tag || !existingTags.contains(*record.tag)) {
            writeConverted(existing, converted, record, sink);
            sink("\n");
            ++report.recordsAdded;
        }
    }
    sink(text.substr(existing.recordsEnd));
    return report;
}

MergeOutcome replaceWithMerged(
    const std::string &outputPath, const SourceList &existing, std::string convertedDocument)
{
    MergeOutcome outcome;
    const SourceListParse converted = parseSourceList(std::move(convertedDocument), "the converted document");
    if (!converted.ok()) {
        outcome.error = "cannot merge into '" + outputPath + "': " + converted.error;
        return outcome;
    }
    AtomicFile file(outputPath);
    outcome.report = writeMergedSourceList(
        existing, converted.list, [&](std::string_view piece) { file.append(piece); });
    outcome.error = file.commit();
    return outcome;
}

} // namespace bibsources
