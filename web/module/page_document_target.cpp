#include "page_document_target.h"

#include "document_edit.h"
#include "page_pieces.h"
#include "page_target.h"

#include <cstdio>
#include <memory>

namespace bibsources {

namespace {

class PageDocumentTarget final : public DocumentRecordTarget {
public:
    using DocumentRecordTarget::DocumentRecordTarget;

    ConversionResult open() override
    {
        ConversionResult result = started();
        return result.ok() ? readCurrent(std::move(result)) : result;
    }

    ConversionResult commit(ConversionResult result) override
    {
        NewList made = madeList(std::move(result));
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
};

} // namespace

std::unique_ptr<RecordTarget> pageDocumentTarget(
    const std::string &documentPath, const ConversionSettings &settings)
{
    return std::make_unique<PageDocumentTarget>(documentPath, settings);
}

} // namespace bibsources
