#include "names.h"

#include "text.h"

namespace bibsources {

namespace {

// Tokens are decoded one by one (a Latin-1 token next to a UTF-8 one must
// not turn its neighbour into mojibake), then joined and escaped as one text
// so that an accent macro is converted exactly as in any other field.
std::string elementText(
    std::vector<std::string>::const_iterator begin, std::vector<std::string>::const_iterator end)
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

std::string element(std::string_view tag, const std::string &content)
{
    std::string out;
    out.reserve(content.size() + 2 * tag.size() + 10);
    out.append("<b:").append(tag).append(">");
    out.append(content);
    out.append("</b:").append(tag).append(">\n");
    return out;
}

std::string_view roleElement(std::string_view fieldName)
{
    if (fieldName == "editor") {
        return "Editor";
    }
    if (fieldName == "translator") {
        return "Translator";
    }
    return "Author";
}

} // namespace

std::string parseNamePart(const Person &person, NamePart part)
{
    if (part == NamePart::Last) {
        if (person.last.empty()) {
            return {};
        }
        return element("Last", elementText(person.last.begin(), person.last.end()));
    }
    const auto &tokens = person.first;
    if (tokens.empty()) {
        return {};
    }
    if (tokens.size() == 1) {
        return element("First", elementText(tokens.begin(), tokens.end()));
    }
    return element("First", elementText(tokens.begin(), tokens.end() - 1))
        + element("Middle", elementText(tokens.end() - 1, tokens.end()));
}

std::string contributorBlock(std::string_view fieldName, const Field &field)
{
    const std::string_view role = roleElement(fieldName);
    std::string block = "<b:Author>\n";
    block.append("<b:").append(role).append(">\n");
    if (field.names) {
        block += "<b:NameList>\n";
        for (const Person &person : *field.names) {
            block += "<b:Person>\n";
            block += parseNamePart(person, NamePart::Last);
            block += parseNamePart(person, NamePart::First);
            block += "</b:Person>\n";
        }
        block += "</b:NameList>\n";
    }
    block.append("</b:").append(role).append(">\n");
    block += "</b:Author>\n";
    return block;
}

} // namespace bibsources
