#include "record_target.h"

#include "document_edit.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace bibsources {

namespace {

// A list that changes this many times while records are put into it
// belongs, for now, to another program.
constexpr int writeAttempts = 5;

// The document is read under its lock, and before the inputs, so that one
// that cannot be changed is refused before a long conversion.
class DocumentTarget final : public DocumentRecordTarget {
public:
    DocumentTarget(
        const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
        : DocumentRecordTarget(outputPath, settings)
        , hooks(hooks)
    {
    }

    ConversionResult open() override
    {
        ConversionResult result = started();
        if (::access(documentPath.c_str(), F_OK) != 0) {
            return failedWith(result,
                "'" + documentPath + "' " + (errno == ENOENT ? "does not exist" : std::strerror(errno))
                    + "; sources go into an existing document, and none is created");
        }
        if (!result.ok()) {
            return result;
        }
        // Runs of this program putting sources into one document take turns,
        // as they do for a source list file.
        lock.emplace(documentPath, ListLockHooks{hooks.waitingForList, hooks.stop});
        if (!lock->error().empty()) {
            result.stopped = lock->stopped();
            return failedWith(result, lock->error() + "; nothing was written");
        }
        return readCurrent(std::move(result));
    }

    // Puts the list into the document and replaces it in one step, but only
    // while it is still the file that was read; else reads it again.
    ConversionResult commit(ConversionResult result) override
    {
        for (int attempt = 0; attempt < writeAttempts; ++attempt) {
            NewList made = madeList(std::move(result));
            result = std::move(made.result);
            if (!result.ok() || result.document.unchanged) {
                return result;
            }
            AtomicFile file(documentPath);
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
            result.error = file.commitIf([&] { return stampOf(documentPath) == current.stamp; });
            if (!file.replacedNothing()) {
                return result;
            }
            current = readDocument(documentPath);
            if (!current.ok()) {
                return failedWith(result, current.error);
            }
        }
        return failedWith(result,
            "'" + documentPath + "' was saved by another program " + std::to_string(writeAttempts)
                + " times while sources were being put into it, and was left as it is; try again once that "
                  "program"
                  " is done with it");
    }

private:
    const ConversionHooks &hooks;
    std::optional<ListLock> lock;
};

} // namespace

std::unique_ptr<RecordTarget> documentTarget(
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
{
    return std::make_unique<DocumentTarget>(outputPath, settings, hooks);
}

} // namespace bibsources
