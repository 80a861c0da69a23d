// The module's entry points: the page's worker mounts the dropped files in
// the module's file system and calls convert(paths, tidy, report) for .bib
// files, merge(listPath, paths, tidy, report) for .bib files with a source
// list, intoDocument(paths, documentPath, merge) for .bib files and the
// Word document they go into, or toBib(paths) for source lists and Word
// documents. Each returns what came of the run as JSON text (page_result.h).

#include "lists_to_bib.h"
#include "page_document_target.h"
#include "page_pieces.h"
#include "page_result.h"
#include "page_target.h"
#include "pipeline.h"

#include <bibsources/field_report.h>

#include <emscripten.h>
#include <emscripten/bind.h>

#include <string>
#include <vector>

namespace bibsources {

namespace {

using emscripten::val;

EM_JS(void, bibsources_progress,
    (const char *inputPath, double bytesRead, double bytesTotal, int entriesRead),
    { Module["onProgress"](UTF8ToString(inputPath), bytesRead, bytesTotal, entriesRead); });

EM_JS(void, bibsources_take_report, (const char *bytes, int length),
    { Module["takeReport"](HEAPU8.slice(bytes, bytes + length)); });

// What came of a run (its JSON) as a string for the page, decoded from
// UTF-8 in one step by the browser's TextDecoder: returned as a std::string,
// embind would first walk it a byte at a time.
val pageText(const std::string &text)
{
    const val bytes(
        emscripten::typed_memory_view(text.size(), reinterpret_cast<const unsigned char *>(text.data())));
    return val::global("TextDecoder").new_().call<val>("decode", bytes);
}

// How far each input has come, to Module.onProgress.
void progressToPage(const ConversionProgress &progress)
{
    const std::string path(progress.inputPath);
    bibsources_progress(
        path.c_str(), double(progress.bytesRead), double(progress.bytesTotal), progress.entriesRead);
}

// A run of the page: the reader and the mapping it is asked for, the
// window's messages, progress to Module.onProgress and, with tidy and
// report, the field report's text to Module.takeReport.
class PageRun {
public:
    PageRun(bool tidy, bool report)
    {
        given.reader = ConversionSettings::Reader::Own;
        given.tidy = tidy;
        // As in the window: with tidy, each entry's fields that went nowhere.
        given.tellFieldsLeftOut = tidy;
        hooks.progress = progressToPage;
        if (tidy && report) {
            reportText.append(fieldReportHeader);
            hooks.fieldReport
                = [this](const FieldReportRow &row) { reportText.append(fieldReportLine(row)); };
        }
    }
    PageRun(const PageRun &) = delete;
    PageRun &operator=(const PageRun &) = delete;

    const ConversionSettings &settings() const { return given; }

    std::string run(const val &paths, RecordTarget &target)
    {
        const std::vector<std::string> inputPaths = emscripten::vecFromJSArray<std::string>(paths);
        std::string result = resultJson(runConversion(inputPaths, target, given, hooks));
        reportText.flush();
        return result;
    }

private:
    ConversionSettings given;
    ConversionHooks hooks;
    PagePieces reportText{bibsources_take_report};
};

// Converts the inputs at `paths` into one source list, as
// `bibsources [--tidy [--report REPORT]] -o Sources.xml PATHS...` does; the
// document's text goes to Module.takeOutput as it is made, with `report`
// (tidy only) the field report's text to Module.takeReport, and how far each
// input has come to Module.onProgress. Returns what came of it as JSON
// (page_result.h); the document and the report are whole only when error
// is empty.
val convert(const val &paths, bool tidy, bool report)
{
    PageRun run(tidy, report);
    const std::unique_ptr<RecordTarget> target = pageTarget();
    return pageText(run.run(paths, *target));
}

// The inputs at `paths` merged into the source list at listPath, which is
// read and left as it is, as `bibsources [--tidy [--report REPORT]] --merge
// -o LIST PATHS...` merges them into LIST: the merged list goes to
// Module.takeOutput once every input was read, the report and progress as
// convert gives them. Returns what came of it as convert does, with merge:
// {merged, recordsKept, recordsReplaced, recordsAdded, messages}.
val merge(const std::string &listPath, const val &paths, bool tidy, bool report)
{
    PageRun run(tidy, report);
    PagePieces text(handOutput);
    const std::unique_ptr<RecordTarget> target = mergedCopyTarget(
        listPath, [&text](std::string_view piece) { text.append(piece); }, run.settings());
    const std::string result = run.run(paths, *target);
    text.flush();
    return pageText(result);
}

// The records of the .bib files at `paths` put into the Word document at
// documentPath, as `bibsources [--merge] -o DOCUMENT PATHS...` puts them:
// the whole document, written again, goes to Module.takeOutput (nothing
// when its list already holds these sources: document.unchanged); returns
// what came of it as convert does, with `document` saying what became of
// its list.
val intoDocument(const val &paths, const std::string &documentPath, bool merge)
{
    const std::vector<std::string> inputPaths = emscripten::vecFromJSArray<std::string>(paths);
    ConversionSettings settings;
    settings.reader = ConversionSettings::Reader::Own;
    settings.tidy = true;
    settings.mergeIntoOutput = merge;
    ConversionHooks hooks;
    hooks.progress = progressToPage;
    const std::unique_ptr<RecordTarget> target = pageDocumentTarget(documentPath, settings);
    return pageText(resultJson(runConversion(inputPaths, *target, settings, hooks)));
}

// The records of the source lists at `paths` (list files, or Word documents'
// own lists) as BibTeX, as
// `bibsources --to-bib -o Sources.bib PATHS...` writes them: the text goes
// to Module.takeOutput, whole only when error is empty; returns what came
// of it as convert does.
val toBib(const val &paths)
{
    const std::vector<std::string> inputPaths = emscripten::vecFromJSArray<std::string>(paths);
    PagePieces text(handOutput);
    const std::string result = resultJson(
        bibOf(inputPaths, listOrDocumentOf, [&text](std::string_view piece) { text.append(piece); }));
    text.flush();
    return pageText(result);
}

} // namespace

EMSCRIPTEN_BINDINGS(bibsources)
{
    emscripten::function("convert", &convert);
    emscripten::function("merge", &merge);
    emscripten::function("intoDocument", &intoDocument);
    emscripten::function("toBib", &toBib);
}

} // namespace bibsources
