// Fuzzes the text path every field value takes: parser bytes are decoded,
// stripped of characters XML forbids, escaped and cleaned. Whatever the bytes,
//  - every stage hands on valid UTF-8, and from stripping on, only XML characters;
//  - the escaped text is character data an XML parser accepts, with no markup,
//    and when no accent macro is involved it reads back as the stripped text;
//  - the one-scan clean-up and escaping equal naive replacement row by row;
//  - the clean-up of a text without "&" never makes it longer, and a second
//    clean-up changes nothing;
//  - the shortcut for plain ASCII gives what the full path gives;
//  - stepping a character at a time ends at the end of any bytes, and on
//    valid UTF-8 counts the characters there are.

#include "fuzz_check.h"

#include "../core/reference_text.h"
#include "text.h"
#include "utf8_cursor.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

using bibsources::testing::cleanupRowByRow;
using bibsources::testing::replaceAll;
using bibsources::testing::utf8Of;
using fuzzcheck::check;

namespace {

std::string withoutForbidden(std::string_view utf8)
{
    std::string out;
    fuzzcheck::forEachCodePoint(utf8, [&](char32_t c) {
        if (fuzzcheck::isXmlChar(c)) {
            out += utf8Of(c);
        }
    });
    return out;
}

// Parses `content` as the whole content of one element and returns its text;
// fails the run if the parser refuses it or finds anything but text in it.
std::string parsedCharacterData(const std::string &content)
{
    const std::string document = "<t>" + content + "</t>";
    xmlDocPtr doc = xmlReadMemory(document.data(), int(document.size()), "fuzz.xml", "UTF-8",
        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    check(doc != nullptr, "escaped text is not XML character data", content);
    xmlNodePtr root = xmlDocGetRootElement(doc);
    for (xmlNodePtr child = root->children; child; child = child->next) {
        check(child->type == XML_TEXT_NODE, "escaped text holds markup", content);
    }
    xmlChar *text = xmlNodeGetContent(root);
    std::string result = text ? reinterpret_cast<const char *>(text) : "";
    xmlFree(text);
    xmlFreeDoc(doc);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    xmlInitParser();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace bibsources;
    const std::string_view input(reinterpret_cast<const char *>(data), size);

    size_t characters = 0;
    fuzzcheck::forEachCodePoint(input, [&](char32_t) { ++characters; });
    size_t steps = 0;
    size_t at = 0;
    for (; at < input.size(); at = nextCharacter(input, at)) {
        ++steps;
    }
    check(at == input.size(), "stepping by characters went past the end", input);
    if (fuzzcheck::isValidUtf8(input)) {
        check(steps == characters && characterCount(input) == characters,
            "stepping by characters counts other characters than there are", input);
    }

    const std::string decoded = decodeParserText(input);
    check(fuzzcheck::isValidUtf8(decoded), "decoded text is not valid UTF-8", input);
    if (fuzzcheck::isValidUtf8(input)) {
        check(decoded == input, "decoding changed valid UTF-8", input);
    }

    const std::string stripped = stripXmlForbidden(decoded);
    check(fuzzcheck::hasOnlyXmlChars(stripped), "stripped text holds a forbidden character", decoded);
    check(stripped == withoutForbidden(decoded), "stripping removed more than forbidden characters", decoded);

    const std::string escaped = escapeAndClean(stripped);
    check(fuzzcheck::hasOnlyXmlChars(escaped), "escaped text holds a forbidden character", stripped);
    check(
        escaped == cleanupRowByRow(stripped, true), "escaping differs from replacement row by row", stripped);
    const std::string parsed = parsedCharacterData(escaped);
    if (stripped.find('{') == std::string::npos) {
        // An XML parser makes every CR LF pair and every lone CR one LF.
        const std::string lineEnds = replaceAll(replaceAll(stripped, "\r\n", "\n"), "\r", "\n");
        check(parsed == lineEnds, "escaped text does not read back as itself", stripped);
    }

    check(
        bibsources::testing::xmlContent(input) == escaped, "xmlContent differs from its three steps", input);

    const std::string cleaned = cleanupOutput(input);
    check(cleaned == cleanupRowByRow(input, false), "clean-up differs from replacement row by row", input);
    if (input.find('&') == std::string_view::npos) {
        check(cleaned.size() <= input.size(), "clean-up made an ampersand-free text longer", input);
        check(cleanupOutput(cleaned) == cleaned, "a second clean-up changed the text", input);
    }
    check(fuzzcheck::hasOnlyXmlChars(cleanupOutput(stripped)), "clean-up of XML-safe text made it unsafe",
        stripped);
    return 0;
}
