#include "record_target.h"

#include "document_edit.h"
#include "list_merge.h"

#include <array>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

namespace {

// A list that changes this many times while records are put into it
// belongs, for now, to another program.
constexpr int writeAttempts = 5;

// Puts the list into the document and replaces it in one step, but only
// while it is still the file that was read; else reads it again.
ConversionResult writeInto(const std::string &outputPath, DocumentRead current,
    const ConvertedRecords &converted, const ConversionSettings &settings, ConversionResult result)
{
    for (int attempt = 0; attempt < writeAttempts; ++attempt) {
        NewList made = newList(current, converted, settings, result);
        result = std::move(made.result);
        if (!result.ok() || result.document.unchanged) {
            return result;
        }
        AtomicFile file(outputPath);
        if (!file.error().empty()) {
            return failedWith(result, file.error());
        }
        const SourceListWritten written
            = writeSourceList(current.document, std::move(made.text), file.temporaryFile());
        if (!written.ok()) {
            return failedWith(result, leftAlone(written.error));
        }
        result.document.listPart = written.listPart;
        result.document.listAdded = written.added;
        result.error = file.commitIf([&] { return stampOf(outputPath) == current.stamp; });
        if (!file.replacedNothing()) {
            return result;
        }
        current = readDocument(outputPath);
        if (!current.ok()) {
            return failedWith(result, current.error);
        }
    }
    return failedWith(result,
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
            return failedWith(result,
                "'" + outputPath + "' " + (errno == ENOENT ? "does not exist" : std::strerror(errno))
                    + "; sources go into an existing document, and none is created");
        }
        if (const std::string problem = notADocumentFile(outputPath); !problem.empty()) {
            return failedWith(result, leftAlone("cannot put sources into '" + outputPath + "': " + problem));
        }
        // Runs of this program putting sources into one document take turns,
        // as they do for a source list file.
        lock.emplace(outputPath, ListLockHooks{hooks.waitingForList, hooks.stop});
        if (!lock->error().empty()) {
            result.stopped = lock->stopped();
            return failedWith(result, lock->error() + "; nothing was written");
        }
        current = readDocument(outputPath);
        if (!current.ok()) {
            return failedWith(result, current.error);
        }
        if (settings.mergeIntoOutput) {
            tags = tagsHeldBy(current.list);
        }
        return result;
    }

    // Merged into, the document's own sources keep their tags: a made-up
    // one never takes a tag of theirs, and so never replaces one of them.
    // Replaced, its records go, and their tags with them.
    TagBook *tagsTaken() override { return settings.mergeIntoOutput ? &tags : nullptr; }

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
        markMadeUpTags(converted, tags);
        return writeInto(outputPath, std::move(current), converted, settings, std::move(result));
    }

private:
    std::string outputPath;
    const ConversionSettings &settings;
    const ConversionHooks &hooks;
    std::optional<ListLock> lock;
    DocumentRead current;
    TagBook tags;
    ConvertedRecords converted;
};

} // namespace

std::unique_ptr<RecordTarget> documentTarget(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
{
    return std::make_unique<DocumentTarget>(outputPath, settings, hooks);
}

} // namespace bibsources
