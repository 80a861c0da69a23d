#include "source_list.h"

#include "unique_fd.h"
#include "xml.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utf8proc.h>

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

namespace bibsources {

namespace {

std::string_view view(const xmlChar *text)
{
    return text ? std::string_view(reinterpret_cast<const char *>(text)) : std::string_view();
}

std::string qualifiedName(const xmlChar *prefix, const xmlChar *localName)
{
    return prefix ? std::string(view(prefix)) + ":" + std::string(view(localName))
                  : std::string(view(localName));
}

bool isBibliographyElement(const xmlChar *uri, const xmlChar *localName, std::string_view name)
{
    return view(uri) == bibliographyNamespace && view(localName) == name;
}

// What the parser has found so far. Offsets come from the parser's count of
// bytes consumed, which is exact only while no encoder sits between the file
// and the parser: the root's start refuses any input that needs one.
struct Reader {
    explicit Reader(SourceList &target)
        : list(target)
    {
    }

    xmlParserCtxt *context = nullptr;
    SourceList &list;
    int depth = 0; // of the element being read; the root is 1
    size_t rootBegin = 0;
    bool rootSeen = false;
    std::optional<SourceListRecord> record; // the b:Source being read
    // The prefixes declared by each open element of that record, outermost first.
    std::vector<std::vector<std::string>> recordScopes;
    std::optional<std::string> tag; // the b:Tag being read
    std::optional<std::string> guid; // the b:Guid being read
    // The prefix and local name of each element open, outermost first: the
    // parser's own copies, which last as long as it does.
    std::vector<std::pair<const xmlChar *, const xmlChar *>> openElements;
    std::string refusal; // why this is not a source list
    std::string firstError; // the parser's first complaint
    int firstErrorCode = 0; // its xmlParserErrors code
    std::string emptyRootName; // set when the root is an empty element
    size_t emptyRootEnd = 0; // just past its "/>"

    size_t consumed() const
    {
        const long count = xmlByteConsumed(context);
        return count < 0 ? 0 : std::min(static_cast<size_t>(count), list.text.size());
    }

    // While a start tag is reported the parser stands on or just past its
    // closing '>'. A start tag holds no other '<' (attribute values may not
    // contain one), so the last '<' before that point opens it.
    size_t startTagBegin() const
    {
        const size_t position = consumed();
        return position == 0 ? 0 : list.text.rfind('<', position - 1);
    }

    // While an end tag (or the end of an empty element) is reported the
    // parser stands on or just past its '>', the only one in the tag.
    size_t endTagEnd() const
    {
        const size_t position = consumed();
        if (position > 0 && list.text[position - 1] == '>') {
            return position;
        }
        const size_t close = list.text.find('>', position);
        return close == std::string::npos ? list.text.size() : close + 1;
    }

    void refuse(std::string reason)
    {
        if (refusal.empty()) {
            refusal = std::move(reason);
        }
        xmlStopParser(context);
    }
};

Reader &readerOf(void *user)
{
    return *static_cast<Reader *>(user);
}

void checkRoot(Reader &reader, const xmlChar *localName, const xmlChar *prefix, const xmlChar *uri)
{
    const xmlParserInputBuffer *buffer = reader.context->input ? reader.context->input->buf : nullptr;
    if (buffer && buffer->encoder) {
        reader.refuse(std::string("it is in ") + buffer->encoder->name + ", not UTF-8");
    } else if (isBibliographyElement(uri, localName, "Sources")) {
        reader.rootBegin = reader.startTagBegin();
    } else if (view(localName) == "Sources") {
        reader.refuse("its root element '" + qualifiedName(prefix, localName)
            + "' is not in the bibliography namespace");
    } else {
        reader.refuse("its root element is '" + qualifiedName(prefix, localName) + "'");
    }
}

// libxml2 hands an element's declarations over as (prefix, uri) pairs, and
// each attribute as five pointers: local name, prefix, uri, value, value end.
std::vector<NamespaceDeclaration> declarations(int count, const xmlChar **pairs)
{
    std::vector<NamespaceDeclaration> declared;
    for (int i = 0; i < count; ++i) {
        declared.push_back({std::string(view(pairs[2 * i])), std::string(view(pairs[2 * i + 1]))});
    }
    return declared;
}

bool isDeclaredIn(const std::vector<std::vector<std::string>> &scopes, const std::string &prefix)
{
    return std::any_of(scopes.begin(), scopes.end(),
        [&](const auto &scope) { return std::find(scope.begin(), scope.end(), prefix) != scope.end(); });
}

// Keeps track of the prefixes a record takes from the root, so that it can
// be moved into a document whose root binds them differently.
void notePrefixes(Reader &reader, const xmlChar *prefix, int namespaceCount, const xmlChar **namespaces,
    int attributeCount, const xmlChar **attributes)
{
    std::vector<std::string> &scope = reader.recordScopes.emplace_back();
    for (const NamespaceDeclaration &declaration : declarations(namespaceCount, namespaces)) {
        scope.push_back(declaration.prefix);
    }
    std::vector<std::string> used{std::string(view(prefix))};
    for (int i = 0; i < attributeCount; ++i) {
        if (attributes[5 * i + 1]) {
            used.emplace_back(view(attributes[5 * i + 1]));
        }
    }
    std::vector<std::string> &inherited = reader.record->inheritedPrefixes;
    for (const std::string &name : used) {
        if (name != "xml" && !isDeclaredIn(reader.recordScopes, name)
            && std::find(inherited.begin(), inherited.end(), name) == inherited.end()) {
            inherited.push_back(name);
        }
    }
}

void startElement(void *user, const xmlChar *localName, const xmlChar *prefix, const xmlChar *uri,
    int namespaceCount, const xmlChar **namespaces, int attributeCount, int, const xmlChar **attributes)
{
    Reader &reader = readerOf(user);
    ++reader.depth;
    reader.openElements.emplace_back(prefix, localName);
    if (reader.depth == 1) {
        reader.rootSeen = true;
        checkRoot(reader, localName, prefix, uri);
        reader.list.rootNamespaces = declarations(namespaceCount, namespaces);
    } else if (reader.depth == 2 && isBibliographyElement(uri, localName, "Source")) {
        reader.record.emplace();
        reader.record->begin = reader.startTagBegin();
        reader.record->nameEnd = reader.record->begin + 1 + qualifiedName(prefix, localName).size();
    } else if (reader.depth == 3 && reader.record && !reader.record->tag
        && isBibliographyElement(uri, localName, "Tag")) {
        reader.tag.emplace();
    } else if (reader.depth == 3 && reader.record && reader.record->guid.empty()
        && isBibliographyElement(uri, localName, "Guid")) {
        reader.guid.emplace();
    }
    if (reader.record) {
        notePrefixes(reader, prefix, namespaceCount, namespaces, attributeCount, attributes);
    }
}

// The root's end tag is where new records go. An empty root element has
// none; it is reopened once the parser is done with the text.
void endRoot(Reader &reader, const xmlChar *localName, const xmlChar *prefix)
{
    const std::string &text = reader.list.text;
    const size_t end = reader.endTagEnd();
    const size_t begin = text.rfind('<', end - 1);
    if (begin == reader.rootBegin) {
        reader.emptyRootName = qualifiedName(prefix, localName);
        reader.emptyRootEnd = end;
    } else {
        reader.list.recordsEnd = begin;
    }
}

// "<b:Sources/>" becomes "<b:Sources></b:Sources>", which moves nothing
// before it.
void reopenEmptyRoot(Reader &reader)
{
    std::string &text = reader.list.text;
    const size_t slash = text.rfind('/', reader.emptyRootEnd - 1);
    text.replace(slash, reader.emptyRootEnd - slash, "></" + reader.emptyRootName + ">");
    reader.list.recordsEnd = slash + 1;
}

void endElement(void *user, const xmlChar *localName, const xmlChar *prefix, const xmlChar *)
{
    Reader &reader = readerOf(user);
    if (reader.record) {
        reader.recordScopes.pop_back();
    }
    if (reader.depth == 3 && reader.tag) {
        reader.record->tag = std::move(reader.tag);
        reader.tag.reset();
    } else if (reader.depth == 3 && reader.guid) {
        reader.record->guid = std::move(*reader.guid);
        reader.guid.reset();
    } else if (reader.depth == 2 && reader.record) {
        reader.record->end = reader.endTagEnd();
        reader.list.records.push_back(std::move(*reader.record));
        reader.record.reset();
    } else if (reader.depth == 1) {
        endRoot(reader, localName, prefix);
    }
    --reader.depth;
    reader.openElements.pop_back();
}

void characters(void *user, const xmlChar *text, int length)
{
    Reader &reader = readerOf(user);
    if (std::optional<std::string> &target = reader.tag ? reader.tag : reader.guid) {
        target->append(reinterpret_cast<const char *>(text), static_cast<size_t>(length));
    }
}

// Entities other than XML's own would need a document type declaration,
// which a source list never has; refusing it also keeps the parser from
// expanding anything a file defines.
void internalSubset(void *user, const xmlChar *, const xmlChar *, const xmlChar *)
{
    readerOf(user).refuse("it has a document type declaration");
}

// The parser names the two tags of a mismatch without their prefixes
// ("Opening and ending tag mismatch: Tag line 3 and Tog"). The start tag is
// the innermost open element; the end tag is the last "</" before where the
// parser stands, its name running up to a blank or its '>'.
std::string mismatchedEndTag(const Reader &reader, const xmlError &error)
{
    const std::string &text = reader.list.text;
    const size_t position = reader.consumed();
    const size_t tagBegin = position == 0 ? std::string::npos : text.rfind("</", position - 1);
    const std::string endName = tagBegin == std::string::npos
        ? std::string(error.str2 ? error.str2 : "")
        : text.substr(tagBegin + 2, text.find_first_of(" \t\r\n>", tagBegin + 2) - tagBegin - 2);
    const std::string startName = reader.openElements.empty()
        ? std::string(error.str1 ? error.str1 : "")
        : qualifiedName(reader.openElements.back().first, reader.openElements.back().second);
    return "the end tag </" + endName + "> does not match the start tag <" + startName + "> of line "
        + std::to_string(error.int1);
}

void parserError(void *user, xmlError *error)
{
    Reader &reader = readerOf(user);
    if (error->level < XML_ERR_ERROR || !reader.firstError.empty()) {
        return;
    }
    std::string message = error->message ? error->message : "unreadable";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    // Even with the limits lifted the parser stops at some depth; its own
    // words for that name an option the user has no way to give.
    if (message.find("Excessive depth") != std::string::npos) {
        message = "elements are nested more than " + std::to_string(xmlParserMaxDepth) + " deep";
    }
    if (error->code == XML_ERR_TAG_NAME_MISMATCH) {
        message = mismatchedEndTag(reader, *error);
    }
    reader.firstErrorCode = error->code;
    reader.firstError = "line " + std::to_string(error->line) + ": " + message;
}

xmlSAXHandler readerCallbacks()
{
    xmlSAXHandler callbacks = elementHandler(startElement, endElement, characters);
    callbacks.ignorableWhitespace = characters;
    callbacks.internalSubset = internalSubset;
    callbacks.serror = parserError;
    return callbacks;
}

// Where text stops being UTF-8, as the reason a person reads: the parser's
// own words for it ("indicate encoding !") tell them nothing. Empty when it
// is UTF-8 throughout.
std::string encodingProblem(std::string_view text)
{
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        return "it is in UTF-16; save it as UTF-8";
    }
    const auto *bytes = reinterpret_cast<const utf8proc_uint8_t *>(text.data());
    size_t offset = 0;
    while (offset < text.size()) {
        utf8proc_int32_t codePoint = 0;
        const utf8proc_ssize_t length = utf8proc_iterate(bytes + offset,
            static_cast<utf8proc_ssize_t>(std::min<size_t>(text.size() - offset, 4)), &codePoint);
        // A NUL is no XML character; bytes full of them are UTF-16 or
        // UTF-32 without a byte-order mark, which the parser would guess at.
        if (length < 0 || codePoint == 0) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(bytes[offset]));
            return "it is not UTF-8: byte " + std::to_string(offset) + " is " + hex + "; save it as UTF-8";
        }
        offset += static_cast<size_t>(length);
    }
    return {};
}

// The parser's verdict as a sentence ending without a full stop, or empty.
std::string parse(Reader &reader, std::string_view displayName)
{
    const std::string quoted = "'" + std::string(displayName) + "'";
    const std::string &text = reader.list.text;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        return quoted + " is not a bibliography source list (it is empty)";
    }
    if (text.size() > static_cast<size_t>(INT_MAX)) {
        return quoted + " is too large to read as a source list";
    }
    if (const std::string problem = encodingProblem(text); !problem.empty()) {
        return quoted + " is not a bibliography source list (" + problem + ")";
    }
    // libxml2 sets up its tables on first use, which two threads converting
    // at once could race over; a static's initialisation happens once.
    static const bool initialised = (xmlInitParser(), true);
    (void)initialised;
    // The text goes to the parser a piece at a time: its memory parser would
    // first copy the whole text, which doubles what a large list costs.
    constexpr size_t pieceSize = size_t(1) << 16;
    const size_t firstPiece = std::min<size_t>(text.size(), 4);
    ParserContextPtr context(
        xmlCreatePushParserCtxt(nullptr, nullptr, text.data(), static_cast<int>(firstPiece), nullptr));
    if (!context) {
        return "cannot read " + quoted + ": out of memory";
    }
    // A list the word processor saved may nest deeper or hold longer texts
    // than the parser's defaults allow; both are still a good list. Entity
    // expansion, which the limits also guard, cannot happen: a document
    // type declaration is refused before anything is expanded.
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | XML_PARSE_HUGE);
    *context->sax = readerCallbacks();
    context->userData = &reader;
    reader.context = context.get();
    for (size_t offset = firstPiece; context->instate != XML_PARSER_EOF;) {
        const size_t size = std::min(pieceSize, text.size() - offset);
        const bool last = offset + size == text.size();
        xmlParseChunk(context.get(), text.data() + offset, static_cast<int>(size), last ? 1 : 0);
        offset += size;
        if (last) {
            break;
        }
    }
    if (!reader.refusal.empty()) {
        return quoted + " is not a bibliography source list (" + reader.refusal + ")";
    }
    const bool endedEarly = reader.firstError.empty() || reader.firstErrorCode == XML_ERR_DOCUMENT_END;
    if (reader.depth > 0 && reader.refusal.empty() && endedEarly) {
        // The parser's words for this ("Extra content at the end of the
        // document") point the wrong way. A complaint about something
        // before the end (a mismatched end tag) is kept.
        reader.firstError = "line " + std::to_string(context->input ? context->input->line : 0)
            + ": the file ends before its root element does; it may be cut short";
    }
    if (!reader.rootSeen) {
        reader.firstError = reader.firstError.empty() ? "line 1: no element at all" : reader.firstError;
        context->wellFormed = 0;
    }
    if (!context->wellFormed || !context->nsWellFormed) {
        return quoted + " is not well-formed XML ("
            + (reader.firstError.empty() ? std::string("the parser gave no reason") : reader.firstError)
            + ")";
    }
    if (!reader.emptyRootName.empty()) {
        reopenEmptyRoot(reader);
    }
    return {};
}

} // namespace

std::string_view SourceList::recordText(const SourceListRecord &record) const
{
    return std::string_view(text).substr(record.begin, record.end - record.begin);
}

std::optional<std::string> SourceList::rootBinding(std::string_view prefix) const
{
    for (const NamespaceDeclaration &declaration : rootNamespaces) {
        if (declaration.prefix == prefix) {
            return declaration.uri;
        }
    }
    return std::nullopt;
}

SourceListParse parseSourceList(std::string text, std::string_view displayName)
{
    SourceListParse result;
    result.list.text = std::move(text);
    Reader reader(result.list);
    result.error = parse(reader, displayName);
    if (!result.ok()) {
        result.list = {};
    }
    return result;
}

std::string notARegularFile(const std::string &path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) {
        return {};
    }
    if (S_ISDIR(info.st_mode)) {
        return "it is a directory";
    }
    if (S_ISFIFO(info.st_mode)) {
        return "it is a FIFO (a named pipe)";
    }
    if (S_ISSOCK(info.st_mode)) {
        return "it is a socket";
    }
    return "it is a device";
}

SourceListFile readSourceListFrom(int fd, const std::string &path)
{
    SourceListFile result;
    result.exists = true;
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        result.error = "cannot read '" + path + "': " + std::strerror(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = "cannot read '" + path + "': it is not a file";
        return result;
    }
    // One read of the whole file: a master list can hold a hundred
    // megabytes, which a character-by-character copy takes a second over.
    std::string text(static_cast<size_t>(info.st_size), '\0');
    size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got
            = ::pread(fd, text.data() + filled, text.size() - filled, static_cast<off_t>(filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            result.error = "cannot read '" + path + "': " + std::strerror(errno);
            return result;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<size_t>(got);
    }
    text.resize(filled);
    SourceListParse parsed = parseSourceList(std::move(text), path);
    result.list = std::move(parsed.list);
    result.error = std::move(parsed.error);
    return result;
}

SourceListFile readSourceListFile(const std::string &path)
{
    SourceListFile result;
    if (const std::string problem = notARegularFile(path); !problem.empty()) {
        result.exists = true;
        result.error = "cannot read '" + path + "': " + problem;
        return result;
    }
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.valid()) {
        if (errno != ENOENT) {
            result.exists = true;
            result.error = "cannot read '" + path + "': " + std::strerror(errno);
        }
        return result;
    }
    return readSourceListFrom(file.get(), path);
}

} // namespace bibsources
