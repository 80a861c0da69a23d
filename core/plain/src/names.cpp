#include "names.h"

#include "text.h"
#include "xml.h"

namespace bibsources {

namespace {

using Tokens = std::vector<std::string>::const_iterator;

// Tokens are decoded one by one (a Latin-1 token next to a UTF-8 one must
// not turn its neighbour into mojibake), then joined and escaped as one text
// so that an accent macro is converted exactly as in any other field.
std::string elementText(Tokens begin, Tokens end)
{
    std::string joined;
    for (auto token = begin; token != end; ++token) {
        if (token != begin) {
            joined += ' ';
        }
        joined += stripXmlForbidden(decodeParserText(*token));
    }
    return escapeAndClean(joined);
}

void appendNameElement(std::string &out, std::string_view tag, Tokens begin, Tokens end)
{
    appendElement(out, tag, [begin, end](std::string &content) {
        if (end - begin == 1) {
            appendXmlContent(content, *begin); // most name parts are one token: no joining
        } else {
            content.append(elementText(begin, end));
        }
    });
}

} // namespace

void appendNamePart(std::string &out, const Person &person, NamePart part)
{
    if (part == NamePart::Last) {
        if (!person.last.empty()) {
            appendNameElement(out, "Last", person.last.begin(), person.last.end());
        }
        return;
    }
    const auto &tokens = person.first;
    if (tokens.empty()) {
        return;
    }
    if (tokens.size() == 1) {
        appendNameElement(out, "First", tokens.begin(), tokens.end());
        return;
    }
    appendNameElement(out, "First", tokens.begin(), tokens.end() - 1);
    appendNameElement(out, "Middle", tokens.end() - 1, tokens.end());
}

std::string contributorBlock(std::string_view role, const Field &field)
{
    std::string block = "<b:Author>\n";
    appendStartTag(block, role);
    block += '\n';
    if (field.names) {
        block += "<b:NameList>\n";
        for (const Person &person : *field.names) {
            block += "<b:Person>\n";
            appendNamePart(block, person, NamePart::Last);
            appendNamePart(block, person, NamePart::First);
            block += "</b:Person>\n";
        }
        block += "</b:NameList>\n";
    }
    appendEndTag(block, role);
    block += "</b:Author>\n";
    return block;
}

} // namespace bibsources
