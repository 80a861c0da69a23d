#include "xml_reading.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

// In xml_reading_browser.js: a reading of the `length` bytes at `text` by the
// page's XML parser, which refuses an element with depthLimit elements open
// around it. A reading gives its events a batch at a time: next
// makes the next batch and says its size in bytes, take copies it to `out`.
// The text must stay where it is until the reading is closed.
extern "C" {
int bibsources_xml_open(const char *text, int length, int allowDocumentType, int depthLimit);
int bibsources_xml_next(int reading);
void bibsources_xml_take(int reading, void *out);
void bibsources_xml_close(int reading);
}

namespace bibsources {

namespace {

// A batch is words of 32 bits, one record after another, each a word that
// says what it is and the words that follow it:
//
//   more (0)      the batch ends here and the reading goes on in the next one
//   start (1)     begin end empty prefix localName uri, the count of the
//                 declarations, each prefix uri, the count of the
//                 attributes, each prefix localName uri and its value
//   end (2)       begin end prefix localName uri; begin and end are -1 for
//                 the end of an empty element (its start tag's offsets)
//   text (3)      characters
//   name (4)      a name or namespace the records after it refer to by its
//                 number: the first is 0, the next 1, for the whole reading
//   result (5)    kind line startTagLine depthLimit, message startTagName
//                 endTagName; the reading's last record
//   encoding (6)  the name of the encoding (empty for UTF-8); the first record
//
// prefix, localName, uri are the numbers of names; a value, characters and
// the strings of name, result and encoding are their length in bytes and
// their UTF-8, padded to a whole word.
enum Record : int32_t { More, Start, End, Text, Name, Result, Encoding };

class ReadingHandle {
public:
    ReadingHandle(std::string_view text, XmlReadOptions options)
        : number(bibsources_xml_open(text.data(), int(text.size()), options.allowDocumentType,
            options.lifted ? xmlLiftedDepthLimit : xmlDepthLimit))
    {
    }
    ~ReadingHandle() { bibsources_xml_close(number); }
    ReadingHandle(const ReadingHandle &) = delete;
    ReadingHandle &operator=(const ReadingHandle &) = delete;

    std::vector<int32_t> nextBatch() const
    {
        std::vector<int32_t> words(size_t(bibsources_xml_next(number)) / sizeof(int32_t));
        bibsources_xml_take(number, words.data());
        return words;
    }

private:
    int number;
};

// Walks the batches of one reading, handing the handler what they hold.
class BatchWalk {
public:
    BatchWalk(const ReadingHandle &reading, XmlHandler &handler)
        : reading(reading)
        , handler(handler)
    {
    }

    XmlReadResult walk()
    {
        XmlReadResult result;
        for (batch = reading.nextBatch(), at = 0;;) {
            switch (Record(word())) {
            case More:
                batch = reading.nextBatch();
                at = 0;
                break;
            case Start:
                if (!start()) {
                    result.stopped = true;
                    return finished(result);
                }
                break;
            case End:
                if (!end()) {
                    result.stopped = true;
                    return finished(result);
                }
                break;
            case Text:
                if (!handler.text(string())) {
                    result.stopped = true;
                    return finished(result);
                }
                break;
            case Name:
                names.emplace_back(string());
                break;
            case Encoding:
                encoding = string();
                break;
            case Result:
                result.error = error();
                return finished(result);
            }
        }
    }

private:
    XmlReadResult finished(XmlReadResult result) const
    {
        result.encoding = encoding;
        return result;
    }

    int32_t word() { return batch[at++]; }

    std::string_view string()
    {
        const auto length = size_t(word());
        const std::string_view text(reinterpret_cast<const char *>(batch.data() + at), length);
        at += (length + 3) / 4;
        return text;
    }

    std::string_view name() { return names[size_t(word())]; }

    bool start()
    {
        XmlStartTag tag;
        tag.begin = size_t(word());
        tag.end = size_t(word());
        tag.empty = word() != 0;
        tag.prefix = name();
        tag.localName = name();
        tag.namespaceUri = name();
        declarations.resize(size_t(word()));
        for (XmlNamespaceDeclaration &declaration : declarations) {
            declaration.prefix = name();
            declaration.uri = name();
        }
        attributes.resize(size_t(word()));
        for (XmlAttribute &attribute : attributes) {
            attribute.prefix = name();
            attribute.localName = name();
            attribute.namespaceUri = name();
            attribute.value = string();
        }
        tag.declarations = declarations;
        tag.attributes = attributes;
        lastStart = {tag.begin, tag.end};
        return handler.startElement(tag);
    }

    bool end()
    {
        XmlEndTag tag;
        const int32_t begin = word();
        const int32_t end = word();
        tag.begin = begin < 0 ? lastStart.begin : size_t(begin);
        tag.end = end < 0 ? lastStart.end : size_t(end);
        tag.prefix = name();
        tag.localName = name();
        tag.namespaceUri = name();
        return handler.endElement(tag);
    }

    XmlError error()
    {
        XmlError found;
        found.kind = XmlErrorKind(word());
        found.line = word();
        found.startTagLine = word();
        found.depthLimit = word();
        found.message = string();
        found.startTagName = string();
        found.endTagName = string();
        return found;
    }

    struct Span {
        size_t begin = 0;
        size_t end = 0;
    };

    const ReadingHandle &reading;
    XmlHandler &handler;
    std::vector<int32_t> batch;
    size_t at = 0;
    std::vector<std::string> names;
    std::vector<XmlNamespaceDeclaration> declarations;
    std::vector<XmlAttribute> attributes;
    Span lastStart;
    std::string encoding;
};

} // namespace

XmlReadResult readXml(std::string_view text, XmlHandler &handler, XmlReadOptions options)
{
    if (text.size() > size_t(std::numeric_limits<int>::max())) {
        XmlReadResult result;
        result.error.kind = XmlErrorKind::TooLarge;
        result.error.line = 1;
        result.error.message = "the text is larger than the parser can read at once (2 GiB)";
        return result;
    }
    const ReadingHandle reading(text, options);
    return BatchWalk(reading, handler).walk();
}

} // namespace bibsources
