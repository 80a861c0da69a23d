#include "page_document_target.h"

#include "document_edit.h"
#include "list_merge.h"
#include "page_pieces.h"
#include "page_target.h"

#include <cstdio>
#include <memory>

namespace bibsources {

namespace {

class PageDocumentTarget final : public RecordTarget {
public:
    PageDocumentTarget(const std::string &documentPath, const ConversionSettings &settings)
        : documentPath(documentPath)
        , settings(settings)
        , converted(settings.temporaryFolder)
    {
    }

    ConversionResult open() override
    {
        ConversionResult result;
        result.outputPath = documentPath;
        result.document.intoDocument = true;
        result.document.tidyImplied = !settings.tidy;
        if (const std::string problem = notADocumentFile(documentPath); !problem.empty()) {
            return failedWith(
                result, leftAlone("cannot put sources into '" + documentPath + "': " + problem));
        }
        current = readDocument(documentPath);
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
        NewList made = newList(current, converted, settings, std::move(result));
        result = std::move(made.result);
        if (!result.ok() || result.document.unchanged) {
            return result;
        }
        const std::unique_ptr<std::FILE, int (*)(std::FILE *)> output(std::tmpfile(), std::fclose);
        if (!output) {
            return failedWith(result, "no room for the document in the page's memory");
        }
        const SourceListWritten written
            = writeSourceList(current.document, std::move(made.text), fileno(output.get()));
        if (!written.ok()) {
            return failedWith(result, leftAlone(written.error));
        }
        result.document.listPart = written.listPart;
        result.document.listAdded = written.added;
        handOver(output.get());
        return result;
    }

private:
    static void handOver(std::FILE *file)
    {
        PagePieces pieces(handOutput);
        std::rewind(file);
        std::string buffer(1 << 20, '\0');
        for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;) {
            pieces.append(std::string_view(buffer.data(), got));
        }
        pieces.flush();
    }

    std::string documentPath;
    const ConversionSettings &settings;
    DocumentRead current;
    TagBook tags;
    ConvertedRecords converted;
};

} // namespace

std::unique_ptr<RecordTarget> pageDocumentTarget(
    const std::string &documentPath, const ConversionSettings &settings)
{
    return std::make_unique<PageDocumentTarget>(documentPath, settings);
}

} // namespace bibsources
