#pragma once

#include <string>
#include <string_view>

namespace bibsources {

// Where escaped text goes: element content, or an attribute value in double
// quotes, where '"' must be escaped too.
enum class XmlPlace { Content, Attribute };

// The reference that stands for `c` in `place`, or an empty view when `c`
// stands for itself. The one place the converter spells XML's escapes.
constexpr std::string_view xmlReference(char c, XmlPlace place)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return place == XmlPlace::Attribute ? "&quot;" : "";
    default:
        return {};
    }
}

// Appends `text` with every character that needs it replaced by its
// reference. The text must already be valid XML characters.
void appendXmlEscaped(std::string &out, std::string_view text, XmlPlace place = XmlPlace::Content);

std::string xmlEscaped(std::string_view text, XmlPlace place = XmlPlace::Content);

// The tags of an element of the bibliography namespace under its usual
// prefix: "<b:name>" and "</b:name>" with its line break.
inline void appendStartTag(std::string &out, std::string_view name)
{
    out.append("<b:").append(name).append(">");
}

inline void appendEndTag(std::string &out, std::string_view name)
{
    out.append("</b:").append(name).append(">\n");
}

// Appends one element, its content written by appendContent(out), which is
// trusted to be escaped already.
template <typename AppendContent>
void appendElement(std::string &out, std::string_view name, AppendContent &&appendContent)
{
    appendStartTag(out, name);
    appendContent(out);
    appendEndTag(out, name);
}

// Appends one element around `text`, escaped.
inline void appendTextElement(std::string &out, std::string_view name, std::string_view text)
{
    appendElement(out, name, [text](std::string &content) { appendXmlEscaped(content, text); });
}

} // namespace bibsources
