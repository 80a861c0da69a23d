#include "record_target.h"

#include "document.h"
#include "document_citations.h"
#include "merge_file.h"

#include <array>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

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

ConversionResult failed(ConversionResult result, std::string error)
{
    result.error = std::move(error);
    return result;
}

std::string leftAlone(const std::string &sentence)
{
    return sentence + "; it was left as it was";
}

// A document as read, with the list the records go into: its own, or an
// empty one where it has none.
struct DocumentRead {
    WordPackage document;
    SourceList list;
    FileStamp stamp; // of the file read, to tell whether it was saved again since
    std::string error;

    bool ok() const { return error.empty(); }
};

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

// A list that changes this many times while records are put into it
// belongs, for now, to another program.
constexpr int writeAttempts = 5;

// Puts the list into the document and replaces it in one step, but only
// while it is still the file that was read; else reads it again.
ConversionResult writeInto(const std::string &outputPath, DocumentRead current,
    const ConvertedRecords &converted, const ConversionSettings &settings, ConversionResult result)
{
    for (int attempt = 0; attempt < writeAttempts; ++attempt) {
        std::string text;
        MergeOutcome merged = newListText(current, converted, settings, text);
        if (!merged.error.empty()) {
            return failed(result, leftAlone(merged.error));
        }
        result.merge = std::move(merged.report);
        result.document.recordsRemoved
            = settings.mergeIntoOutput ? 0 : static_cast<int>(current.list.records.size());
        result.document.listPart = current.document.listPart.value_or("");
        checkCitations(current.document, text, result.document);
        if (current.document.listPart && text == current.document.listText) {
            result.document.unchanged = true;
            return result;
        }
        AtomicFile file(outputPath);
        if (!file.error().empty()) {
            return failed(result, file.error());
        }
        const SourceListWritten written
            = writeSourceList(current.document, std::move(text), file.temporaryFile());
        if (!written.ok()) {
            return failed(result, leftAlone(written.error));
        }
        result.document.listPart = written.listPart;
        result.document.listAdded = written.added;
        result.error = file.commitIf([&] { return stampOf(outputPath) == current.stamp; });
        if (!file.replacedNothing()) {
            return result;
        }
        current = readDocument(outputPath);
        if (!current.ok()) {
            return failed(result, current.error);
        }
    }
    return failed(result,
        "'" + outputPath + "' was saved by another program " + std::to_string(writeAttempts)
            + " times while sources were being put into it, and was left as it is; try again once that "
              "program"
              " is done with it");
}

// The document is read under its lock, and before the inputs, so that one
// that cannot be changed is refused before a long conversion.
class DocumentTarget final : public RecordTarget {
public:
    DocumentTarget(
        const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
        : outputPath(outputPath)
        , settings(settings)
        , hooks(hooks)
        , converted(settings.temporaryFolder)
    {
    }

    ConversionResult open() override
    {
        ConversionResult result;
        result.outputPath = outputPath;
        result.document.intoDocument = true;
        result.document.tidyImplied = !settings.tidy;
        if (::access(outputPath.c_str(), F_OK) != 0) {
            return failed(result,
                "'" + outputPath + "' " + (errno == ENOENT ? "does not exist" : std::strerror(errno))
                    + "; sources go into an existing document, and none is created");
        }
        if (const std::string problem = notADocumentFile(outputPath); !problem.empty()) {
            return failed(result, leftAlone("cannot put sources into '" + outputPath + "': " + problem));
        }
        // Runs of this program putting sources into one document take turns,
        // as they do for a source list file.
        lock.emplace(outputPath, ListLockHooks{hooks.waitingForList, hooks.stop});
        if (!lock->error().empty()) {
            result.stopped = lock->stopped();
            return failed(result, lock->error() + "; nothing was written");
        }
        current = readDocument(outputPath);
        if (!current.ok()) {
            return failed(result, current.error);
        }
        return result;
    }

    // Documents always get the tidy mapping: word processors read no other.
    ConversionSettings mappingSettings(const ConversionSettings &given) const override
    {
        ConversionSettings tidy = given;
        tidy.tidy = true;
        return tidy;
    }

    void append(std::string_view text) override { converted.append(text); }

    std::string appendError() const override { return converted.error(); }

    ConversionResult commit(ConversionResult result) override
    {
        return writeInto(outputPath, std::move(current), converted, settings, std::move(result));
    }

private:
    std::string outputPath;
    const ConversionSettings &settings;
    const ConversionHooks &hooks;
    std::optional<ListLock> lock;
    DocumentRead current;
    ConvertedRecords converted;
};

} // namespace

std::unique_ptr<RecordTarget> documentTarget(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
{
    return std::make_unique<DocumentTarget>(outputPath, settings, hooks);
}

} // namespace bibsources
