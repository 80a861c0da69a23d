#include "into_document.h"

#include "atomic_write.h"
#include "document.h"
#include "merge.h"
#include "source_list.h"
#include "word_package.h"

#include <array>
#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources {

namespace {

bool hasDocumentExtension(const std::string &path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
        return false;
    }
    std::string extension = path.substr(dot + 1);
    for (char &c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == "docx" || extension == "docm" || extension == "dotx" || extension == "dotm";
}

bool beginsAsPackage(const std::string &path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    const std::string start = file.valid() ? readAt(file.get(), 0, 4) : std::string();
    return start == std::string_view("PK\3\4", 4) || start == "\xD0\xCF\x11\xE0";
}

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

// The new text of the list, and what became of the records it held.
std::string newListText(const WordPackage &document, const SourceList &existing, const SourceList &converted,
    const ConversionSettings &settings, ConversionResult &result)
{
    if (!document.listPart) {
        return converted.text;
    }
    std::string text;
    const TextSink sink = [&](std::string_view piece) { text += piece; };
    if (settings.mergeIntoOutput) {
        result.merge = writeMergedSourceList(existing, converted, sink);
    } else {
        result.document.recordsRemoved = static_cast<int>(existing.records.size());
        writeMergedSourceList(withoutRecords(existing), converted, sink);
    }
    return text;
}

} // namespace

bool isDocumentTarget(const std::string &outputPath)
{
    return hasDocumentExtension(outputPath) || beginsAsPackage(outputPath);
}

ConversionResult convertIntoDocument(const std::vector<std::string> &inputPaths,
    const std::string &outputPath, const ConversionSettings &settings, const ConversionHooks &hooks)
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
    // The document is read before the inputs, so that one that cannot be
    // changed is refused before a long conversion.
    WordPackage document = openWordPackage(outputPath);
    if (!document.ok()) {
        return failed(result, leftAlone(document.error));
    }
    const SourceListParse existing = document.listPart
        ? parseSourceList(document.listText, outputPath + ": " + *document.listPart)
        : SourceListParse{};
    if (!existing.ok()) {
        return failed(result, leftAlone("the source list of " + existing.error));
    }
    ConversionSettings tidy = settings;
    tidy.tidy = true;
    std::string converted;
    result.inputs = writeDocument(inputPaths, tidy, hooks, [&](std::string_view text) { converted += text; });
    refuseUnreadableInputs(result.inputs);
    takeFirstError(result, hooks);
    if (!result.ok() || result.stopped) {
        return result;
    }
    const SourceListParse convertedList = parseSourceList(std::move(converted), "the converted document");
    if (!convertedList.ok()) {
        return failed(
            result, leftAlone("cannot put sources into '" + outputPath + "': " + convertedList.error));
    }
    std::string text = newListText(document, existing.list, convertedList.list, settings, result);
    result.document.listPart = document.listPart.value_or("");
    if (document.listPart && text == document.listText) {
        result.document.unchanged = true;
        return result;
    }
    AtomicFile file(outputPath);
    if (!file.error().empty()) {
        return failed(result, file.error());
    }
    const SourceListWritten written = writeSourceList(document, std::move(text), file.temporaryFile());
    result.document.listPart = written.listPart;
    result.document.listAdded = written.added;
    return failed(result, written.ok() ? file.commit() : leftAlone(written.error));
}

} // namespace bibsources
