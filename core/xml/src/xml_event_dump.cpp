#include "xml_event_dump.h"

#include <cstdio>

namespace bibsources {

namespace {

std::string quoted(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escape[5];
                std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(c));
                out += escape;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string qualified(std::string_view prefix, std::string_view localName)
{
    return prefix.empty() ? std::string(localName) : std::string(prefix) + ":" + std::string(localName);
}

std::string nameAndSpan(
    std::string_view prefix, std::string_view localName, std::string_view uri, size_t begin, size_t end)
{
    return qualified(prefix, localName) + " {" + std::string(uri) + "} @" + std::to_string(begin) + "-"
        + std::to_string(end);
}

const char *kindName(XmlErrorKind kind)
{
    switch (kind) {
    case XmlErrorKind::None:
        return "well-formed";
    case XmlErrorKind::DocumentType:
        return "document-type";
    case XmlErrorKind::TooLarge:
        return "too-large";
    case XmlErrorKind::MismatchedEndTag:
        return "mismatched-end-tag";
    case XmlErrorKind::TooDeep:
        return "too-deep";
    case XmlErrorKind::EndedEarly:
        return "ended-early";
    case XmlErrorKind::NotWellFormed:
        return "not-well-formed";
    }
    return "?";
}

class EventDump : public XmlHandler {
public:
    explicit EventDump(size_t stopAt)
        : stopAt(stopAt)
    {
    }

    bool startElement(const XmlStartTag &tag) override
    {
        flushText();
        out += "start " + nameAndSpan(tag.prefix, tag.localName, tag.namespaceUri, tag.begin, tag.end)
            + (tag.empty ? " empty\n" : "\n");
        for (const XmlNamespaceDeclaration &declaration : tag.declarations) {
            out += "  xmlns" + (declaration.prefix.empty() ? "" : ":" + std::string(declaration.prefix)) + "="
                + std::string(declaration.uri) + "\n";
        }
        for (const XmlAttribute &attribute : tag.attributes) {
            out += "  attr " + qualified(attribute.prefix, attribute.localName) + " {"
                + std::string(attribute.namespaceUri) + "} " + quoted(attribute.value) + "\n";
        }
        return goOn();
    }

    bool endElement(const XmlEndTag &tag) override
    {
        flushText();
        out += "end " + nameAndSpan(tag.prefix, tag.localName, tag.namespaceUri, tag.begin, tag.end) + "\n";
        return goOn();
    }

    bool text(std::string_view characters) override
    {
        // The pieces of a run are one event, as the run is one line: where a
        // parser cuts it is its own affair.
        if (pendingText.empty()) {
            ++events;
        }
        pendingText.append(characters);
        return stopAt == 0 || events < stopAt;
    }

    std::string finish(const XmlReadResult &result)
    {
        flushText();
        const XmlError &error = result.error;
        out += std::string("result ") + kindName(error.kind);
        if (!result.wellFormed()) {
            out += " line " + std::to_string(error.line);
        }
        if (error.kind == XmlErrorKind::MismatchedEndTag) {
            out += " mismatch <" + error.startTagName + "> </" + error.endTagName + "> of line "
                + std::to_string(error.startTagLine);
        }
        if (error.kind == XmlErrorKind::TooDeep) {
            out += " limit " + std::to_string(error.depthLimit);
        }
        if (result.stopped) {
            out += " stopped";
        }
        if (!result.encoding.empty()) {
            out += " encoding " + result.encoding;
        }
        return out + "\n";
    }

private:
    bool goOn() { return stopAt == 0 || ++events < stopAt; }

    void flushText()
    {
        if (!pendingText.empty()) {
            out += "text " + quoted(pendingText) + "\n";
            pendingText.clear();
        }
    }

    size_t stopAt;
    size_t events = 0;
    std::string out;
    std::string pendingText;
};

} // namespace

std::string describeXmlEvents(std::string_view text, XmlReadOptions options, size_t stopAt)
{
    EventDump dump(stopAt);
    const XmlReadResult result = readXml(text, dump, options);
    return dump.finish(result);
}

} // namespace bibsources
