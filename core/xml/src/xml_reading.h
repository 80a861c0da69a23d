#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace bibsources {

// Reading XML, whatever parser does it: the parser walks a document from its
// start and tells an XmlHandler what it finds, every name resolved to its
// namespace. On the desktop libxml2 reads (xml_reading_libxml.cpp), in the
// page a JavaScript parser (xml_reading_browser.cpp). For the same
// well-formed document both give the same events with the same offsets;
// only a malformed document's error may be worded differently.
//
// Every view handed to the handler lasts until its call returns.

struct XmlNamespaceDeclaration {
    std::string_view prefix; // "" for the default namespace (xmlns="...")
    std::string_view uri;
};

struct XmlAttribute {
    std::string_view prefix; // "" when it has none
    std::string_view localName;
    std::string_view namespaceUri; // "" when it is in no namespace
    std::string_view value; // references decoded, as the value reads
};

// Offsets are bytes into the text given to readXml. They hold for text in
// UTF-8, which is the only encoding whose offsets the callers use: for any
// other they are all 0, and a caller that cuts the text refuses such a
// document (XmlReadResult::encoding).
struct XmlStartTag {
    std::string_view prefix;
    std::string_view localName;
    std::string_view namespaceUri;
    std::span<const XmlNamespaceDeclaration> declarations; // made on this element, in order
    std::span<const XmlAttribute> attributes; // in order; declarations are not among them
    std::size_t begin = 0; // of its '<'
    std::size_t end = 0; // just past its '>' ("/>" when empty)
    bool empty = false; // written as <name/>: its end comes next, with this tag's offsets
};

struct XmlEndTag {
    std::string_view prefix;
    std::string_view localName;
    std::string_view namespaceUri;
    std::size_t begin = 0; // of its "</"; of the start tag's '<' when the element was empty
    std::size_t end = 0; // just past its '>'
};

// What a reading is told. Each call returns false to stop the reading there.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual bool startElement(const XmlStartTag &tag) = 0;
    virtual bool endElement(const XmlEndTag &tag) = 0;
    // Character data inside the root, CDATA sections included, references
    // decoded; one run of text may come in several pieces.
    virtual bool text(std::string_view characters) = 0;
};

enum class XmlErrorKind {
    None,
    DocumentType, // the document has a document type declaration (refused unless allowed)
    TooLarge, // more than the parser can take at once (2 GiB)
    MismatchedEndTag, // an end tag that does not close the innermost open element
    TooDeep, // elements nested deeper than the limit (depthLimit)
    EndedEarly, // the text ends while elements are still open
    NotWellFormed, // any other fault
};

struct XmlError {
    XmlErrorKind kind = XmlErrorKind::None;
    int line = 0; // where the parser found the fault, from 1
    std::string message; // the parser's own words, without a trailing line break
    // For MismatchedEndTag: the two names as written (with their prefixes)
    // and the line of the start tag.
    std::string startTagName;
    std::string endTagName;
    int startTagLine = 0;
    int depthLimit = 0; // for TooDeep
};

// How deep elements may nest, the root being 1: deeper is TooDeep, for
// every parser alike, so that whoever walks what was read may do it by
// recursion.
constexpr int xmlDepthLimit = 256;
constexpr int xmlLiftedDepthLimit = 2048;

struct XmlReadOptions {
    // Whether a document type declaration is passed over (nothing it declares
    // is expanded) rather than refused. Only a reading that stops at the root
    // element's start tag should allow one.
    bool allowDocumentType = false;
    // Whether long texts are read as far as the parser can go, rather than
    // to its usual limits, and elements nest to xmlLiftedDepthLimit rather
    // than xmlDepthLimit.
    bool lifted = false;
};

struct XmlReadResult {
    XmlError error; // kind None when the document read to its end and is well-formed
    bool stopped = false; // the handler stopped the reading; error holds what was found before
    // The encoding the text is in, as its declaration or byte-order mark
    // names it; empty when it is UTF-8.
    std::string encoding;

    bool wellFormed() const { return error.kind == XmlErrorKind::None; }
};

// Reads text from its start to its end (or until the handler stops it).
// Never reaches the network and never expands an entity a document defines.
XmlReadResult readXml(std::string_view text, XmlHandler &handler, XmlReadOptions options = {});

} // namespace bibsources
