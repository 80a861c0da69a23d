#include "citation_fields.h"

#include "xml.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <memory>
#include <unordered_set>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

namespace bibsources {

namespace {

constexpr std::string_view wordNamespace = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

struct Token {
    std::string text;
    bool quoted = false;
};

bool isFieldSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A quoted argument from the quote at `at` to its closing quote (or the end
// of a broken instruction); returns where reading goes on.
std::size_t readQuoted(std::string_view instruction, std::size_t at, Token &token)
{
    token.quoted = true;
    ++at;
    while (at < instruction.size() && instruction[at] != '"') {
        if (instruction[at] == '\\' && at + 1 < instruction.size()) {
            ++at;
        }
        token.text += instruction[at++];
    }
    return at + 1;
}

std::vector<Token> fieldTokens(std::string_view instruction)
{
    std::vector<Token> tokens;
    std::size_t at = 0;
    while (at < instruction.size()) {
        if (isFieldSpace(instruction[at])) {
            ++at;
            continue;
        }
        Token token;
        if (instruction[at] == '"') {
            at = readQuoted(instruction, at, token);
        } else {
            while (at < instruction.size() && !isFieldSpace(instruction[at])) {
                token.text += instruction[at++];
            }
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

bool isSwitch(const Token &token)
{
    return !token.quoted && token.text.size() >= 2 && token.text[0] == '\\';
}

// The CITATION switches that take an argument; \n, \t and \y take none.
bool takesArgument(const Token &token)
{
    static constexpr std::string_view withArgument[] = {"\\l", "\\p", "\\s", "\\f", "\\v", "\\m"};
    return std::any_of(std::begin(withArgument), std::end(withArgument),
        [&](std::string_view name) { return equalsIgnoringCase(token.text, name); });
}

// What the parse has seen: the complex fields begun and not yet ended,
// innermost last, and the tags found so far.
struct Scan {
    struct OpenField {
        std::string instruction;
        bool read = false; // its separator or end came: the instruction is complete
    };
    std::vector<OpenField> fields;
    bool inInstruction = false;
    std::vector<std::string> tags;
    std::unordered_set<std::string> seen;
    bool documentType = false;
    xmlParserCtxt *context = nullptr;

    void record(std::string_view instruction)
    {
        for (std::string &tag : tagsOfInstruction(instruction)) {
            if (seen.insert(tag).second) {
                tags.push_back(std::move(tag));
            }
        }
    }
    void finishInnermost()
    {
        if (!fields.empty() && !fields.back().read) {
            fields.back().read = true;
            record(fields.back().instruction);
        }
    }
};

std::string_view text(const xmlChar *value)
{
    return value ? std::string_view(reinterpret_cast<const char *>(value)) : std::string_view();
}

// libxml2 hands attributes as (local name, prefix, URI, value start, value end).
std::string_view wordAttribute(int count, const xmlChar **attributes, std::string_view name)
{
    for (int i = 0; i < count; ++i) {
        const xmlChar **attribute = attributes + 5 * i;
        if (text(attribute[0]) == name && text(attribute[2]) == wordNamespace) {
            return std::string_view(
                reinterpret_cast<const char *>(attribute[3]), attribute[4] - attribute[3]);
        }
    }
    return {};
}

void fieldCharacter(Scan &scan, std::string_view type)
{
    if (type == "begin") {
        scan.fields.emplace_back();
    } else if (type == "separate") {
        scan.finishInnermost();
    } else if (type == "end") {
        scan.finishInnermost();
        if (!scan.fields.empty()) {
            scan.fields.pop_back();
        }
    }
}

void startElement(void *context, const xmlChar *localName, const xmlChar *, const xmlChar *uri, int,
    const xmlChar **, int attributeCount, int, const xmlChar **attributes)
{
    auto &scan = *static_cast<Scan *>(context);
    if (text(uri) != wordNamespace) {
        return;
    }
    const std::string_view name = text(localName);
    if (name == "fldChar") {
        fieldCharacter(scan, wordAttribute(attributeCount, attributes, "fldCharType"));
    } else if (name == "instrText") {
        scan.inInstruction = !scan.fields.empty() && !scan.fields.back().read;
    } else if (name == "fldSimple") {
        scan.record(wordAttribute(attributeCount, attributes, "instr"));
    }
}

void endElement(void *context, const xmlChar *localName, const xmlChar *, const xmlChar *uri)
{
    auto &scan = *static_cast<Scan *>(context);
    if (text(uri) == wordNamespace && text(localName) == "instrText") {
        scan.inInstruction = false;
    }
}

void characters(void *context, const xmlChar *characters, int length)
{
    auto &scan = *static_cast<Scan *>(context);
    if (scan.inInstruction) {
        scan.fields.back().instruction.append(reinterpret_cast<const char *>(characters), length);
    }
}

// Nothing a part defines is ever expanded: a document type stops the parse.
void refuseDocumentType(void *context, const xmlChar *, const xmlChar *, const xmlChar *)
{
    auto &scan = *static_cast<Scan *>(context);
    scan.documentType = true;
    xmlStopParser(scan.context);
}

xmlSAXHandler scanCallbacks()
{
    xmlSAXHandler callbacks = elementHandler(startElement, endElement, characters);
    callbacks.internalSubset = refuseDocumentType;
    return callbacks;
}

} // namespace

std::vector<std::string> tagsOfInstruction(std::string_view instruction)
{
    const std::vector<Token> tokens = fieldTokens(instruction);
    std::vector<std::string> tags;
    if (tokens.size() < 2 || tokens[0].quoted || !equalsIgnoringCase(tokens[0].text, "CITATION")) {
        return tags;
    }
    std::size_t at = 1;
    if (!isSwitch(tokens[1])) {
        tags.push_back(tokens[1].text);
        at = 2;
    }
    for (; at < tokens.size(); ++at) {
        if (!isSwitch(tokens[at]) || !takesArgument(tokens[at]) || at + 1 == tokens.size()) {
            continue;
        }
        if (equalsIgnoringCase(tokens[at].text, "\\m")) {
            tags.push_back(tokens[at + 1].text);
        }
        ++at;
    }
    return tags;
}

CitedTags citedTags(std::string_view partText)
{
    CitedTags result;
    if (partText.size() > static_cast<std::size_t>(INT_MAX)) {
        result.error = "it is too large";
        return result;
    }
    // libxml2 sets up its tables on first use, which two threads could race
    // over; a static's initialisation happens once.
    static const bool initialised = (xmlInitParser(), true);
    (void)initialised;
    Scan scan;
    ParserContextPtr context(xmlCreateMemoryParserCtxt(partText.data(), static_cast<int>(partText.size())));
    if (!context) {
        result.error = "out of memory";
        return result;
    }
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    *context->sax = scanCallbacks();
    context->userData = &scan;
    scan.context = context.get();
    xmlParseDocument(context.get());
    if (scan.documentType) {
        result.error = "it has a document type declaration";
    } else if (!context->wellFormed) {
        result.error = "it is not well-formed XML";
    } else {
        result.tags = std::move(scan.tags);
    }
    return result;
}

std::vector<std::string> tagsMissingFrom(
    const std::vector<std::string> &cited, const std::vector<std::string> &listTags)
{
    const std::unordered_set<std::string> inList(listTags.begin(), listTags.end());
    std::vector<std::string> missing;
    std::copy_if(cited.begin(), cited.end(), std::back_inserter(missing),
        [&](const std::string &tag) { return !inList.contains(tag); });
    return missing;
}

} // namespace bibsources
