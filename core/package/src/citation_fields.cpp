#include "citation_fields.h"

#include "xml.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

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

// What the reading has seen: the complex fields begun and not yet ended,
// innermost last, and the tags found so far.
class Scan : public XmlHandler {
public:
    bool startElement(const XmlStartTag &element) override;
    bool endElement(const XmlEndTag &element) override;
    bool text(std::string_view characters) override;

    std::vector<std::string> tags;

private:
    struct OpenField {
        std::string instruction;
        bool read = false; // its separator or end came: the instruction is complete
    };

    void record(std::string_view instruction);
    void finishInnermost();
    void fieldCharacter(std::string_view type);

    std::vector<OpenField> fields;
    bool inInstruction = false;
    std::unordered_set<std::string> seen;
};

void Scan::record(std::string_view instruction)
{
    for (std::string &tag : tagsOfInstruction(instruction)) {
        if (seen.insert(tag).second) {
            tags.push_back(std::move(tag));
        }
    }
}

void Scan::finishInnermost()
{
    if (!fields.empty() && !fields.back().read) {
        fields.back().read = true;
        record(fields.back().instruction);
    }
}

std::string_view wordAttribute(const XmlStartTag &element, std::string_view name)
{
    for (const XmlAttribute &attribute : element.attributes) {
        if (attribute.localName == name && attribute.namespaceUri == wordNamespace) {
            return attribute.value;
        }
    }
    return {};
}

void Scan::fieldCharacter(std::string_view type)
{
    if (type == "begin") {
        fields.emplace_back();
    } else if (type == "separate") {
        finishInnermost();
    } else if (type == "end") {
        finishInnermost();
        if (!fields.empty()) {
            fields.pop_back();
        }
    }
}

bool Scan::startElement(const XmlStartTag &element)
{
    if (element.namespaceUri != wordNamespace) {
        return true;
    }
    if (element.localName == "fldChar") {
        fieldCharacter(wordAttribute(element, "fldCharType"));
    } else if (element.localName == "instrText") {
        inInstruction = !fields.empty() && !fields.back().read;
    } else if (element.localName == "fldSimple") {
        record(wordAttribute(element, "instr"));
    }
    return true;
}

bool Scan::endElement(const XmlEndTag &element)
{
    if (element.namespaceUri == wordNamespace && element.localName == "instrText") {
        inInstruction = false;
    }
    return true;
}

bool Scan::text(std::string_view characters)
{
    if (inInstruction) {
        fields.back().instruction.append(characters);
    }
    return true;
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
    Scan scan;
    // Nothing a part defines is ever expanded: a document type is refused.
    const XmlReadResult read = readXml(partText, scan);
    if (read.error.kind == XmlErrorKind::TooLarge) {
        result.error = "it is too large";
    } else if (read.error.kind == XmlErrorKind::DocumentType) {
        result.error = "it has a document type declaration";
    } else if (!read.wellFormed()) {
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
