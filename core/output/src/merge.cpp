#include "merge.h"

#include "list_style.h"
#include "tag_book.h"
#include "xml.h"

#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace bibsources {

namespace {

// What becomes of one converted record.
struct Placement {
    const SourceListRecord *replaces = nullptr; // none: added at the end
    std::string newTag; // set when it had to be given a fresh tag
};

class MergePlan {
public:
    MergePlan(const SourceList &existing, const ConvertedRecords &converted)
    {
        for (const SourceListRecord &record : existing.records) {
            if (record.tag && !record.tag->empty()) {
                listed[*record.tag].push_back(&record);
                taken.insert(*record.tag);
            }
        }
        for (const ConvertedRecord &record : converted.records()) {
            taken.insert(record.tag);
        }
        for (const ConvertedRecord &record : converted.records()) {
            placements.push_back(place(record));
        }
    }

    std::vector<Placement> placements; // one per converted record, in order
    std::unordered_map<const SourceListRecord *, size_t> replacementOf; // list record -> converted index
    std::vector<std::string> messages;

private:
    Placement place(const ConvertedRecord &record)
    {
        Placement placement;
        if (record.tag.empty()) {
            return placement;
        }
        const bool firstOfTag = placedTags.insert(record.tag).second;
        const auto found = listed.find(record.tag);
        if (firstOfTag && found != listed.end()) {
            placement.replaces = sameSource(record, found->second);
            if (placement.replaces) {
                replacementOf.emplace(placement.replaces, placements.size());
                noteNamesakes(record.tag, found->second);
                return placement;
            }
        }
        if (!firstOfTag || found != listed.end()) {
            freshTag(record, placement);
            placedTags.insert(placement.newTag);
            messages.push_back("the tag '" + record.tag + "' already names another source; "
                + (placement.replaces ? "its record tagged '" : "added as '") + placement.newTag + "'"
                + (placement.replaces ? " was replaced" : ""));
        }
        return placement;
    }

    // Which of the records with the converted record's tag it stands for:
    // the one with its Guid, else, for a tag that is the entry's own key,
    // the first.
    const SourceListRecord *sameSource(
        const ConvertedRecord &record, const std::vector<const SourceListRecord *> &namesakes) const
    {
        for (const SourceListRecord *candidate : namesakes) {
            if (candidate->guid == record.guid && !replacementOf.contains(candidate)) {
                return candidate;
            }
        }
        if (record.generatedTag || replacementOf.contains(namesakes.front())) {
            return nullptr;
        }
        return namesakes.front();
    }

    void noteNamesakes(const std::string &tag, const std::vector<const SourceListRecord *> &namesakes)
    {
        if (namesakes.size() > 1) {
            messages.push_back("the list holds " + std::to_string(namesakes.size()) + " records tagged '"
                + tag + "'; one was replaced, the others were kept as they were");
        }
    }

    // The tag followed by the first suffix that is free, or that the list
    // holds for this very source (its Guid): a record renamed in an earlier
    // merge is found again under the same name, not added once more.
    void freshTag(const ConvertedRecord &record, Placement &placement)
    {
        int &suffix = suffixesTried[record.tag];
        for (;;) {
            const std::string candidate = record.tag + tagSuffix(suffix++);
            if (placedTags.contains(candidate)) {
                continue;
            }
            if (const auto found = listed.find(candidate); found != listed.end()) {
                for (const SourceListRecord *namesake : found->second) {
                    if (namesake->guid == record.guid && !replacementOf.contains(namesake)) {
                        placement.replaces = namesake;
                        placement.newTag = candidate;
                        replacementOf.emplace(namesake, placements.size());
                        return;
                    }
                }
                continue;
            }
            if (!taken.contains(candidate)) {
                placement.newTag = candidate;
                return;
            }
        }
    }

    std::unordered_map<std::string, std::vector<const SourceListRecord *>> listed;
    std::unordered_set<std::string> taken; // every tag of either side
    std::unordered_set<std::string> placedTags; // the converted tags placed so far
    std::unordered_map<std::string, int> suffixesTried;
};

// The record's text with its b:Tag's text replaced.
std::string withTag(std::string text, const std::string &tag)
{
    const size_t open = text.find("<b:Tag>");
    const size_t close = text.find("</b:Tag>");
    if (open != std::string::npos && close != std::string::npos && close > open) {
        text.replace(open + 7, close - open - 7, xmlEscaped(tag));
    }
    return text;
}

class MergeWriter {
public:
    MergeWriter(const SourceList &existing, const ConvertedRecords &converted, const TextSink &sink)
        : converted(converted)
        , sink(sink)
        , style(listStyleOf(existing))
    {
        // A record of ours takes the b prefix from its root; the list's root
        // may bind it otherwise, or not at all.
        if (existing.rootBinding("b") != std::string(bibliographyNamespace)) {
            prefixDeclaration = " xmlns:b=\"" + xmlEscaped(bibliographyNamespace, XmlPlace::Attribute) + "\"";
        }
    }

    bool write(size_t index, const Placement &placement)
    {
        std::string text = converted.textOf(converted.records()[index]);
        if (text.size() != converted.records()[index].size) {
            failed = true;
            return false;
        }
        if (!placement.newTag.empty()) {
            text = withTag(std::move(text), placement.newTag);
        }
        std::string styled = styledRecord(text, style);
        styled.insert(std::string_view("<b:Source").size(), prefixDeclaration);
        sink(styled);
        return true;
    }

    const ConvertedRecords &converted;
    const TextSink &sink;
    ListStyle style;
    std::string prefixDeclaration;
    bool failed = false;
};

// Writes the converted records that replace nothing, and the list's text
// from the end of its last record (position) up to the root's end tag. They
// go after the last line break there, so that the end tag keeps its own
// indentation. Returns how many were added.
int writeAdded(const SourceList &existing, size_t position, const MergePlan &plan, MergeWriter &writer)
{
    const std::string_view text = existing.text;
    std::string_view beforeEnd = text.substr(position, existing.recordsEnd - position);
    std::string_view endIndent;
    const size_t lastBreak = beforeEnd.rfind('\n');
    if (lastBreak != std::string_view::npos
        && beforeEnd.find_first_not_of(" \t", lastBreak + 1) == std::string_view::npos) {
        endIndent = beforeEnd.substr(lastBreak + 1);
        beforeEnd = beforeEnd.substr(0, lastBreak + 1);
    }
    writer.sink(beforeEnd);
    const ListStyle &style = writer.style;
    bool atLineStart
        = beforeEnd.empty() ? position > 0 && text[position - 1] == '\n' : beforeEnd.ends_with('\n');
    int added = 0;
    for (size_t i = 0; i < plan.placements.size(); ++i) {
        if (plan.placements[i].replaces) {
            continue;
        }
        if (style.recordPerLine) {
            writer.sink(atLineStart ? style.recordIndent : style.newline + style.recordIndent);
        }
        writer.write(i, plan.placements[i]);
        if (style.recordPerLine) {
            writer.sink(style.newline);
            atLineStart = true;
        }
        ++added;
    }
    writer.sink(endIndent);
    return added;
}

} // namespace

MergeOutcome writeMergedSourceList(
    const SourceList &existing, const ConvertedRecords &converted, const TextSink &sink)
{
    MergeOutcome outcome;
    MergeReport &report = outcome.report;
    report.merged = true;
    MergePlan plan(existing, converted);
    MergeWriter writer(existing, converted, sink);
    const std::string_view text = existing.text;
    size_t position = 0;
    for (const SourceListRecord &record : existing.records) {
        sink(text.substr(position, record.begin - position));
        position = record.end;
        const auto replacement = plan.replacementOf.find(&record);
        if (replacement == plan.replacementOf.end()) {
            sink(existing.recordText(record));
            ++report.recordsKept;
        } else {
            writer.write(replacement->second, plan.placements[replacement->second]);
            ++report.recordsReplaced;
        }
    }
    report.recordsAdded = writeAdded(existing, position, plan, writer);
    sink(text.substr(existing.recordsEnd));
    report.messages = std::move(plan.messages);
    if (writer.failed) {
        outcome.error = "cannot read the converted records back from their temporary file";
    }
    return outcome;
}

} // namespace bibsources
