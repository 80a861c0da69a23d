// readXml with libxml2's SAX2 push parser: the one file of the core that
// includes libxml2.

#include "xml_reading.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

namespace bibsources {

namespace {

// The parser keeps what an allowed document type declares in a document it
// makes of its own accord, which freeing the parser leaves behind.
struct ParserFree {
    void operator()(xmlParserCtxt *context) const
    {
        xmlFreeDoc(context->myDoc);
        xmlFreeParserCtxt(context);
    }
};
using ParserPtr = std::unique_ptr<xmlParserCtxt, ParserFree>;

std::string_view view(const xmlChar *text)
{
    return text ? std::string_view(reinterpret_cast<const char *>(text)) : std::string_view();
}

std::string qualifiedName(const xmlChar *prefix, const xmlChar *localName)
{
    return prefix ? std::string(view(prefix)) + ":" + std::string(view(localName))
                  : std::string(view(localName));
}

// Without entity substitution the parser hands an attribute's '&' (from
// "&amp;" or "&#38;") over as "&#38;", and every other reference decoded; no
// "&#38;" can stand in a value for anything but that '&'.
std::string_view decodedValue(std::string_view raw, std::string &storage)
{
    constexpr std::string_view ampersand = "&#38;";
    size_t at = raw.find(ampersand);
    if (at == std::string_view::npos) {
        return raw;
    }
    storage.clear();
    size_t from = 0;
    for (; at != std::string_view::npos; at = raw.find(ampersand, from)) {
        storage.append(raw.substr(from, at - from)).push_back('&');
        from = at + ampersand.size();
    }
    storage.append(raw.substr(from));
    return storage;
}

// The text goes to the parser a piece at a time: its memory parser would
// first copy the whole text, which doubles what a large document costs.
constexpr size_t pieceSize = size_t(1) << 16;

// One reading: the parser, the handler it calls, and what it has found.
class LibxmlReading {
public:
    LibxmlReading(std::string_view text, XmlHandler &handler, XmlReadOptions options)
        : text(text)
        , handler(handler)
        , options(options)
    {
    }

    XmlReadResult run();

private:
    struct OpenElement {
        const xmlChar *prefix; // the parser's own strings, which last as long as it does
        const xmlChar *localName;
        const xmlChar *uri;
        size_t begin;
        size_t end;
        bool empty;
    };

    static LibxmlReading &of(void *user) { return *static_cast<LibxmlReading *>(user); }
    static void onStart(void *user, const xmlChar *localName, const xmlChar *prefix, const xmlChar *uri,
        int namespaceCount, const xmlChar **namespaces, int attributeCount, int, const xmlChar **attributes);
    static void onEnd(void *user, const xmlChar *localName, const xmlChar *prefix, const xmlChar *uri);
    static void onText(void *user, const xmlChar *characters, int length);
    static void onDocumentType(void *user, const xmlChar *, const xmlChar *, const xmlChar *);
    static void onError(void *user, xmlError *error);

    xmlSAXHandler callbacks() const;
    void feed();
    void finish();
    void stop() { xmlStopParser(context); }
    void heard(bool goOn);
    size_t depthLimit() const
    {
        return static_cast<size_t>(options.lifted ? xmlLiftedDepthLimit : xmlDepthLimit);
    }
    void tooDeep();
    void noteEncoding();
    bool offsetsHold() const { return result.encoding.empty(); }
    size_t consumed() const;
    size_t startTagBegin() const;
    size_t lastOpeningBefore(size_t position) const;
    // The parser keeps one copy of each namespace name for as long as it
    // runs, so the namespace of the element before is known again by its
    // address, without counting its bytes anew for every element.
    std::string_view uriView(const xmlChar *uri)
    {
        if (uri != lastUri) {
            lastUri = uri;
            lastUriView = view(uri);
        }
        return lastUriView;
    }
    size_t tagEnd() const;
    std::string mismatchedEndTagName(const xmlError &error) const;

    std::string_view text;
    XmlHandler &handler;
    XmlReadOptions options;
    xmlParserCtxt *context = nullptr;
    bool encodingNoted = false;
    std::vector<OpenElement> open;
    std::vector<XmlNamespaceDeclaration> declarations; // of the start tag being told
    std::vector<XmlAttribute> attributes;
    std::vector<std::string> decodedValues;
    XmlReadResult result;
    const xmlChar *lastUri = nullptr;
    std::string_view lastUriView;
    int endedEarlyCode = 0; // the parser's code of the first error, when it was the text's end
};

// While a tag is reported the parser stands within it, past its name and
// attributes, or just past its '>'.
size_t LibxmlReading::consumed() const
{
    const long count = xmlByteConsumed(context);
    return count < 0 ? 0 : std::min(static_cast<size_t>(count), text.size());
}

// A tag holds no other '<' (attribute values may not contain one), so the
// last '<' before where the parser stands opens it.
size_t LibxmlReading::startTagBegin() const
{
    return lastOpeningBefore(consumed());
}

size_t LibxmlReading::lastOpeningBefore(size_t position) const
{
    const void *found = position == 0 ? nullptr : ::memrchr(text.data(), '<', position);
    return found ? static_cast<size_t>(static_cast<const char *>(found) - text.data()) : 0;
}

// Past the attributes no '>' but the tag's own can come before its end.
size_t LibxmlReading::tagEnd() const
{
    const size_t position = consumed();
    if (position > 0 && text[position - 1] == '>') {
        return position;
    }
    const size_t close = text.find('>', position);
    return close == std::string_view::npos ? text.size() : close + 1;
}

// The encoding is settled by the time the root's start tag is read: by the
// byte-order mark or the first bytes, then by the declaration.
void LibxmlReading::noteEncoding()
{
    if (encodingNoted || !context->input) {
        return;
    }
    encodingNoted = true;
    const xmlParserInputBuffer *buffer = context->input->buf;
    if (buffer && buffer->encoder && buffer->encoder->name) {
        result.encoding = buffer->encoder->name;
    }
}

void LibxmlReading::heard(bool goOn)
{
    if (!goOn) {
        result.stopped = true;
        stop();
    }
}

// The push parser follows any depth; the limits are the face's, so that
// every reader of a tree may walk it by recursion.
void LibxmlReading::tooDeep()
{
    XmlError &error = result.error;
    error.kind = XmlErrorKind::TooDeep;
    error.line = context->input ? context->input->line : 0;
    error.depthLimit = static_cast<int>(depthLimit());
    error.message = "elements are nested more than " + std::to_string(error.depthLimit) + " deep";
    stop();
}

void LibxmlReading::onStart(void *user, const xmlChar *localName, const xmlChar *prefix, const xmlChar *uri,
    int namespaceCount, const xmlChar **namespaces, int attributeCount, int, const xmlChar **attributeFields)
{
    LibxmlReading &reading = of(user);
    reading.noteEncoding();
    XmlStartTag tag;
    tag.prefix = view(prefix);
    tag.localName = view(localName);
    tag.namespaceUri = reading.uriView(uri);
    if (reading.open.size() >= reading.depthLimit()) {
        reading.tooDeep();
        return;
    }
    // The parser stands on the '/' of "/>" or on the '>', in the text it
    // has decoded, whatever the encoding.
    tag.empty = reading.context->input->cur && *reading.context->input->cur == '/';
    if (reading.offsetsHold()) {
        tag.begin = reading.startTagBegin();
        tag.end = reading.tagEnd();
    }
    // libxml2 hands declarations over as (prefix, uri) pairs.
    reading.declarations.clear();
    for (int i = 0; i < namespaceCount; ++i) {
        reading.declarations.push_back({view(namespaces[2 * i]), view(namespaces[2 * i + 1])});
    }
    // And each attribute as five pointers: local name, prefix, uri, value, value end.
    reading.attributes.clear();
    reading.decodedValues.resize(std::max<size_t>(reading.decodedValues.size(), size_t(attributeCount)));
    for (int i = 0; i < attributeCount; ++i) {
        const xmlChar **fields = attributeFields + 5 * i;
        const std::string_view raw(reinterpret_cast<const char *>(fields[3]), size_t(fields[4] - fields[3]));
        reading.attributes.push_back({view(fields[1]), view(fields[0]), view(fields[2]),
            decodedValue(raw, reading.decodedValues[size_t(i)])});
    }
    tag.declarations = reading.declarations;
    tag.attributes = reading.attributes;
    reading.open.push_back({prefix, localName, uri, tag.begin, tag.end, tag.empty});
    reading.heard(reading.handler.startElement(tag));
}

void LibxmlReading::onEnd(void *user, const xmlChar *localName, const xmlChar *prefix, const xmlChar *uri)
{
    LibxmlReading &reading = of(user);
    XmlEndTag tag;
    tag.prefix = view(prefix);
    tag.localName = view(localName);
    tag.namespaceUri = reading.uriView(uri);
    if (!reading.open.empty()) {
        const OpenElement element = reading.open.back();
        reading.open.pop_back();
        if (element.empty) {
            tag.begin = element.begin;
            tag.end = element.end;
        } else if (reading.offsetsHold()) {
            // An end tag holds no '<' but its own.
            tag.end = reading.tagEnd();
            tag.begin = reading.lastOpeningBefore(tag.end);
        }
    }
    reading.heard(reading.handler.endElement(tag));
}

void LibxmlReading::onText(void *user, const xmlChar *characters, int length)
{
    LibxmlReading &reading = of(user);
    reading.heard(reading.handler.text(
        std::string_view(reinterpret_cast<const char *>(characters), static_cast<size_t>(length))));
}

// Entities other than XML's own need a document type declaration; refusing
// it keeps the parser from expanding anything a document defines. When one
// is allowed, nothing it declares is kept (there is no callback for it), so
// nothing can be expanded either.
void LibxmlReading::onDocumentType(void *user, const xmlChar *, const xmlChar *, const xmlChar *)
{
    LibxmlReading &reading = of(user);
    if (!reading.options.allowDocumentType && reading.result.wellFormed()) {
        reading.result.error.kind = XmlErrorKind::DocumentType;
        reading.result.error.line = reading.context->input ? reading.context->input->line : 0;
        reading.result.error.message = "the document has a document type declaration";
        reading.stop();
    }
}

// The parser names the two tags of a mismatch without their prefixes
// ("Opening and ending tag mismatch: Tag line 3 and Tog"). The end tag is
// the last "</" before where the parser stands, its name running up to a
// blank or its '>'.
std::string LibxmlReading::mismatchedEndTagName(const xmlError &error) const
{
    const size_t position = offsetsHold() ? consumed() : 0;
    const size_t begin = position == 0 ? std::string_view::npos : text.rfind("</", position - 1);
    if (begin == std::string_view::npos) {
        return error.str2 ? error.str2 : "";
    }
    const size_t nameEnd = std::min(text.find_first_of(" \t\r\n>", begin + 2), text.size());
    return std::string(text.substr(begin + 2, nameEnd - begin - 2));
}

// The first fault is the one told; the reading stops there, so that the
// handler hears nothing past a fault, as no parser would tell it the same.
void LibxmlReading::onError(void *user, xmlError *fault)
{
    LibxmlReading &reading = of(user);
    XmlError &error = reading.result.error;
    if (fault->level < XML_ERR_ERROR || !reading.result.wellFormed()) {
        return;
    }
    std::string message = fault->message ? fault->message : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    error.kind = XmlErrorKind::NotWellFormed;
    error.line = fault->line;
    error.message = std::move(message);
    if (fault->code == XML_ERR_TAG_NAME_MISMATCH) {
        error.kind = XmlErrorKind::MismatchedEndTag;
        error.endTagName = reading.mismatchedEndTagName(*fault);
        error.startTagName = reading.open.empty()
            ? std::string(fault->str1 ? fault->str1 : "")
            : qualifiedName(reading.open.back().prefix, reading.open.back().localName);
        error.startTagLine = fault->int1;
    } else if (error.message.find("Excessive depth") != std::string::npos) {
        error.kind = XmlErrorKind::TooDeep;
        error.depthLimit = static_cast<int>(reading.options.lifted ? xmlLiftedDepthLimit : xmlParserMaxDepth);
    } else if (fault->code == XML_ERR_DOCUMENT_END) {
        reading.endedEarlyCode = fault->code;
    }
    reading.stop();
}

xmlSAXHandler LibxmlReading::callbacks() const
{
    xmlSAXHandler callbacks{};
    callbacks.initialized = XML_SAX2_MAGIC;
    callbacks.startElementNs = onStart;
    callbacks.endElementNs = onEnd;
    callbacks.characters = onText;
    callbacks.cdataBlock = onText;
    callbacks.ignorableWhitespace = onText;
    callbacks.internalSubset = onDocumentType;
    callbacks.serror = onError;
    return callbacks;
}

void LibxmlReading::feed()
{
    for (size_t offset = std::min<size_t>(text.size(), 4); context->instate != XML_PARSER_EOF;) {
        const size_t size = std::min(pieceSize, text.size() - offset);
        const bool last = offset + size == text.size();
        xmlParseChunk(context, text.data() + offset, static_cast<int>(size), last ? 1 : 0);
        offset += size;
        if (last) {
            break;
        }
    }
}

// The text has ended: elements still open, when the parser found nothing
// else wrong first (it says "Extra content at the end of the document",
// which points the wrong way), mean the text ended early.
void LibxmlReading::finish()
{
    noteEncoding();
    XmlError &error = result.error;
    if (result.stopped) {
        return;
    }
    const bool nothingElse = error.kind == XmlErrorKind::None || endedEarlyCode != 0;
    if (!open.empty() && nothingElse) {
        error = {};
        error.kind = XmlErrorKind::EndedEarly;
        error.line = context->input ? context->input->line : 0;
        error.message = "the text ends before its root element does";
    } else if (error.kind == XmlErrorKind::None && (!context->wellFormed || !context->nsWellFormed)) {
        error.kind = XmlErrorKind::NotWellFormed;
        error.line = context->input ? context->input->line : 0;
    }
}

XmlReadResult LibxmlReading::run()
{
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        result.error.kind = XmlErrorKind::TooLarge;
        result.error.message = "the text is larger than 2 GiB";
        return result;
    }
    // libxml2 sets up its tables on first use, which two threads reading at
    // once could race over; a static's initialisation happens once.
    static const bool initialised = (xmlInitParser(), true);
    (void)initialised;
    ParserPtr parser(xmlCreatePushParserCtxt(
        nullptr, nullptr, text.data(), static_cast<int>(std::min<size_t>(text.size(), 4)), nullptr));
    if (!parser) {
        result.error.kind = XmlErrorKind::NotWellFormed;
        result.error.message = "out of memory";
        return result;
    }
    context = parser.get();
    xmlCtxtUseOptions(context, XML_PARSE_NONET | (options.lifted ? XML_PARSE_HUGE : 0));
    *context->sax = callbacks();
    context->userData = this;
    feed();
    finish();
    return std::move(result);
}

} // namespace

XmlReadResult readXml(std::string_view text, XmlHandler &handler, XmlReadOptions options)
{
    return LibxmlReading(text, handler, options).run();
}

} // namespace bibsources
