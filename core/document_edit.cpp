// A Word document's own source list as a run reads it and what the
// converted records make of it, wherever the document is written.
#include "document_edit.h"

#include "document.h"
#include "list_merge.h"

#include <cctype>

namespace bibsources {

namespace {

// The list with its records taken out and the root, its attributes (the
// chosen style, say) and anything around the records kept, ready to take
// the converted ones.
SourceList withoutRecords(const SourceList &list)
{
    if (list.records.empty()) {
        return list;
    }
    const std::string &text = list.text;
    const size_t begin = list.records.front().begin;
    size_t end = list.records.back().end;
    while (end < list.recordsEnd && std::isspace(static_cast<unsigned char>(text[end]))) {
        ++end;
    }
    SourceList emptied;
    emptied.text = text.substr(0, begin) + text.substr(end);
    emptied.recordsEnd = list.recordsEnd - (end - begin);
    emptied.rootNamespaces = list.rootNamespaces;
    return emptied;
}

} // namespace

ConversionResult failedWith(ConversionResult result, std::string error)
{
    result.error = std::move(error);
    return result;
}

std::string leftAlone(const std::string &sentence)
{
    return sentence + "; it was left as it was";
}

DocumentRead readDocument(const std::string &path)
{
    DocumentRead read;
    read.stamp = stampOf(path);
    read.document = openWordPackage(path);
    if (!read.document.ok()) {
        read.error = leftAlone(read.document.error);
        return read;
    }
    const std::string listName = path + ": " + read.document.listPart.value_or("");
    SourceListParse parsed = read.document.listPart ? parseSourceList(read.document.listText, listName)
                                                    : parseSourceList(emptySourceList(), listName);
    read.list = std::move(parsed.list);
    if (!parsed.ok()) {
        read.error = leftAlone("the source list of " + parsed.error);
    }
    return read;
}

namespace {

// The new text of the list, and what became of the records it held:
// merged into them, or in their place.
MergeOutcome newListText(const DocumentRead &current, const ConvertedRecords &converted,
    const ConversionSettings &settings, std::string &text)
{
    const TextSink sink = [&](std::string_view piece) { text += piece; };
    if (settings.mergeIntoOutput) {
        MergeOutcome merged = writeMergedSourceList(current.list, converted, sink);
        merged.report.merged = current.document.listPart.has_value();
        return merged;
    }
    MergeOutcome replaced = writeMergedSourceList(withoutRecords(current.list), converted, sink);
    replaced.report = MergeReport{false, 0, 0, 0, std::move(replaced.report.messages)};
    return replaced;
}

// Which tags the document's citations name that the new list lacks. Said in
// the report, never a reason to leave the document alone: the citations may
// be waiting for another .bib.
void checkCitations(const WordPackage &document, const std::string &listText, DocumentReport &report)
{
    const CitedTags cited = documentCitedTags(document);
    report.citationsUnchecked = cited.error;
    report.citedTagsMissing.clear();
    if (!cited.ok() || cited.tags.empty()) {
        return;
    }
    const SourceListParse list = parseSourceList(listText, "the new source list");
    std::vector<std::string> listTags;
    for (const SourceListRecord &record : list.list.records) {
        if (record.tag) {
            listTags.push_back(*record.tag);
        }
    }
    report.citedTagsMissing = tagsMissingFrom(cited.tags, listTags);
}

} // namespace

NewList newList(const DocumentRead &current, const ConvertedRecords &converted,
    const ConversionSettings &settings, ConversionResult result)
{
    NewList made;
    MergeOutcome merged = newListText(current, converted, settings, made.text);
    if (!merged.error.empty()) {
        made.result = failedWith(std::move(result), leftAlone(merged.error));
        return made;
    }
    result.merge = std::move(merged.report);
    result.document.recordsRemoved
        = settings.mergeIntoOutput ? 0 : static_cast<int>(current.list.records.size());
    result.document.listPart = current.document.listPart.value_or("");
    checkCitations(current.document, made.text, result.document);
    result.document.unchanged = current.document.listPart && made.text == current.document.listText;
    made.result = std::move(result);
    return made;
}

DocumentRecordTarget::DocumentRecordTarget(std::string documentPath, const ConversionSettings &settings)
    : documentPath(std::move(documentPath))
    , settings(settings)
    , converted(settings.temporaryFolder)
{
}

TagBook *DocumentRecordTarget::tagsTaken()
{
    return settings.mergeIntoOutput ? &tags : nullptr;
}

ConversionSettings DocumentRecordTarget::mappingSettings(const ConversionSettings &given) const
{
    ConversionSettings tidy = given;
    tidy.tidy = true;
    return tidy;
}

void DocumentRecordTarget::append(std::string_view text)
{
    converted.append(text);
}

std::string DocumentRecordTarget::appendError() const
{
    return converted.error();
}

ConversionResult DocumentRecordTarget::started() const
{
    ConversionResult result;
    result.outputPath = documentPath;
    result.document.intoDocument = true;
    result.document.tidyImplied = !settings.tidy;
    if (const std::string problem = notADocumentFile(documentPath); !problem.empty()) {
        result.error = leftAlone("cannot put sources into '" + documentPath + "': " + problem);
    }
    return result;
}

ConversionResult DocumentRecordTarget::readCurrent(ConversionResult result)
{
    current = readDocument(documentPath);
    if (!current.ok()) {
        return failedWith(std::move(result), current.error);
    }
    if (settings.mergeIntoOutput) {
        tags = tagsHeldBy(current.list);
    }
    return result;
}

NewList DocumentRecordTarget::madeList(ConversionResult result)
{
    markMadeUpTags(converted, tags);
    return newList(current, converted, settings, std::move(result));
}

} // namespace bibsources
