// Fuzzes the reading of a word-processing package, which is untrusted input:
// the bytes are opened as a package and, parsed as XML, as its relationships
// and content types. Whatever the bytes,
//  - nothing crashes, and a part read is never larger than its limit;
//  - a relationship's target resolves to a member name without a leading
//    slash or a ".." segment, or to nothing;
//  - a package that opens is written again with a list set, and the result
//    opens and holds that list.

#include "fuzz_check.h"

#include "content_types.h"
#include "relationships.h"
#include "word_package.h"

#include <sys/mman.h>
#include <unistd.h>

using fuzzcheck::check;

namespace {

constexpr std::string_view list = "<?xml version=\"1.0\"?>\n<b:Sources xmlns:b=\"http://schemas."
                                  "openxmlformats.org/officeDocument/2006/bibliography\"></b:Sources>\n";

std::string pathOf(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

void checkTargets(std::string_view text)
{
    const bibsources::RelationshipsParse parsed = bibsources::parseRelationships(text);
    for (const bibsources::Relationship &relationship : parsed.relationships) {
        for (const char *source : {"", "word/document.xml"}) {
            const std::optional<std::string> target = bibsources::resolveTarget(source, relationship);
            if (target) {
                check(!target->empty() && !target->starts_with('/'), "target is a member name", *target);
                const std::string segments = "/" + *target + "/";
                check(segments.find("/../") == std::string::npos && segments.find("/./") == std::string::npos,
                    "target stays in the package", *target);
            }
        }
    }
    (void)bibsources::parseContentTypes(text);
}

void rewrite(bibsources::WordPackage &document, std::string_view bytes)
{
    const int output = ::memfd_create("rewritten", MFD_CLOEXEC);
    if (output < 0) {
        return;
    }
    const bibsources::SourceListWritten written
        = bibsources::writeSourceList(document, std::string(list), output);
    if (written.ok()) {
        const bibsources::WordPackage again = bibsources::openWordPackage(pathOf(output));
        check(again.ok(), "a written package opens again", bytes);
        check(
            again.listPart == written.listPart && again.listText == list, "it holds the list written", bytes);
    }
    ::close(output);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    checkTargets(bytes);
    const int input = ::memfd_create("package", MFD_CLOEXEC);
    if (input < 0 || ::write(input, data, size) != static_cast<ssize_t>(size)) {
        return 0;
    }
    bibsources::WordPackage document = bibsources::openWordPackage(pathOf(input));
    if (document.ok()) {
        check(document.listText.size() <= bibsources::sourceListPartLimit, "the list is within its limit",
            bytes);
        rewrite(document, bytes);
    }
    ::close(input);
    return 0;
}
