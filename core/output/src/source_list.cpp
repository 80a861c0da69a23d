#include "source_list.h"

#include "text.h"
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

namespace bibsources {

namespace {

std::string qualifiedName(std::string_view prefix, std::string_view localName)
{
    return prefix.empty() ? std::string(localName) : std::string(prefix) + ":" + std::string(localName);
}

bool isBibliographyElement(std::string_view uri, std::string_view localName, std::string_view name)
{
    return uri == bibliographyNamespace && localName == name;
}

bool isDeclaredIn(const std::vector<std::vector<std::string>> &scopes, const std::string &prefix)
{
    return std::any_of(scopes.begin(), scopes.end(),
        [&](const auto &scope) { return std::find(scope.begin(), scope.end(), prefix) != scope.end(); });
}

std::vector<NamespaceDeclaration> declarationsOf(const XmlStartTag &tag)
{
    std::vector<NamespaceDeclaration> declared;
    for (const XmlNamespaceDeclaration &declaration : tag.declarations) {
        declared.push_back({std::string(declaration.prefix), std::string(declaration.uri)});
    }
    return declared;
}

// What the parser has found so far, at the offsets it gives: the records,
// where the root ends, and why the text is not a source list.
class Reader : public XmlHandler {
public:
    explicit Reader(SourceList &target)
        : list(target)
    {
    }

    bool startElement(const XmlStartTag &tag) override;
    bool endElement(const XmlEndTag &tag) override;
    bool text(std::string_view characters) override;

    // "<b:Sources/>" becomes "<b:Sources></b:Sources>", which moves nothing
    // before it.
    void reopenEmptyRoot();

    SourceList &list;
    int depth = 0; // of the element being read; the root is 1
    bool rootSeen = false;
    std::string refusal; // why this is not a source list
    std::string emptyRootName; // set when the root is an empty element
    size_t emptyRootEnd = 0; // just past its "/>"

private:
    bool checkRoot(const XmlStartTag &tag);
    void notePrefixes(const XmlStartTag &tag);
    void endRoot(const XmlEndTag &tag);

    std::optional<SourceListRecord> record; // the b:Source being read
    // The prefixes declared by each open element of that record, outermost first.
    std::vector<std::vector<std::string>> recordScopes;
    std::optional<std::string> tag; // the b:Tag being read
    std::optional<std::string> guid; // the b:Guid being read
};

bool Reader::checkRoot(const XmlStartTag &root)
{
    if (isBibliographyElement(root.namespaceUri, root.localName, "Sources")) {
        list.rootNamespaces = declarationsOf(root);
        return true;
    }
    if (root.localName == "Sources") {
        refusal = "its root element '" + qualifiedName(root.prefix, root.localName)
            + "' is not in the bibliography namespace";
    } else {
        refusal = "its root element is '" + qualifiedName(root.prefix, root.localName) + "'";
    }
    return false;
}

// Keeps track of the prefixes a record takes from the root, so that it can
// be moved into a document whose root binds them differently.
void Reader::notePrefixes(const XmlStartTag &element)
{
    std::vector<std::string> &scope = recordScopes.emplace_back();
    for (const XmlNamespaceDeclaration &declaration : element.declarations) {
        scope.emplace_back(declaration.prefix);
    }
    std::vector<std::string> used{std::string(element.prefix)};
    for (const XmlAttribute &attribute : element.attributes) {
        if (!attribute.prefix.empty()) {
            used.emplace_back(attribute.prefix);
        }
    }
    std::vector<std::string> &inherited = record->inheritedPrefixes;
    for (const std::string &name : used) {
        if (name != "xml" && !isDeclaredIn(recordScopes, name)
            && std::find(inherited.begin(), inherited.end(), name) == inherited.end()) {
            inherited.push_back(name);
        }
    }
}

bool Reader::startElement(const XmlStartTag &element)
{
    ++depth;
    if (depth == 1) {
        rootSeen = true;
        return checkRoot(element);
    }
    if (depth == 2 && isBibliographyElement(element.namespaceUri, element.localName, "Source")) {
        record.emplace();
        record->begin = element.begin;
        record->nameEnd = element.begin + 1 + qualifiedName(element.prefix, element.localName).size();
    } else if (depth == 3 && record && !record->tag
        && isBibliographyElement(element.namespaceUri, element.localName, "Tag")) {
        tag.emplace();
    } else if (depth == 3 && record && record->guid.empty()
        && isBibliographyElement(element.namespaceUri, element.localName, "Guid")) {
        guid.emplace();
    }
    if (record) {
        notePrefixes(element);
    }
    return true;
}

// The root's end tag is where new records go. An empty root element has
// none; it is reopened once the parser is done with the text.
void Reader::endRoot(const XmlEndTag &root)
{
    if (root.end - root.begin >= 2 && list.text.compare(root.begin, 2, "</") == 0) {
        list.recordsEnd = root.begin;
    } else {
        emptyRootName = qualifiedName(root.prefix, root.localName);
        emptyRootEnd = root.end;
    }
}

void Reader::reopenEmptyRoot()
{
    std::string &text = list.text;
    const size_t slash = text.rfind('/', emptyRootEnd - 1);
    text.replace(slash, emptyRootEnd - slash, "></" + emptyRootName + ">");
    list.recordsEnd = slash + 1;
}

bool Reader::endElement(const XmlEndTag &element)
{
    if (record) {
        recordScopes.pop_back();
    }
    if (depth == 3 && tag) {
        record->tag = std::move(tag);
        tag.reset();
    } else if (depth == 3 && guid) {
        record->guid = std::move(*guid);
        guid.reset();
    } else if (depth == 2 && record) {
        record->end = element.end;
        list.records.push_back(std::move(*record));
        record.reset();
    } else if (depth == 1) {
        endRoot(element);
    }
    --depth;
    return true;
}

bool Reader::text(std::string_view characters)
{
    if (std::optional<std::string> &target = tag ? tag : guid) {
        target->append(characters);
    }
    return true;
}

// Where text stops being UTF-8, as the reason a person reads: the parser's
// own words for it ("indicate encoding !") tell them nothing. Empty when it
// is UTF-8 throughout.
std::string encodingProblem(std::string_view text)
{
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
        return "it is in UTF-16; save it as UTF-8";
    }
    size_t offset = 0;
    while (offset < text.size()) {
        const size_t length = utf8CharacterLength(text.substr(offset, 4));
        // A NUL is no XML character; bytes full of them are UTF-16 or
        // UTF-32 without a byte-order mark, which the parser would guess at.
        if (length == 0 || text[offset] == '\0') {
            char hex[8];
            std::snprintf(
                hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(text[offset])));
            return "it is not UTF-8: byte " + std::to_string(offset) + " is " + hex + "; save it as UTF-8";
        }
        offset += length;
    }
    return {};
}

// The parser's complaint, "line N: what", in words about the file.
std::string complaint(const XmlError &error)
{
    switch (error.kind) {
    case XmlErrorKind::MismatchedEndTag:
        return "line " + std::to_string(error.line) + ": the end tag </" + error.endTagName
            + "> does not match the start tag <" + error.startTagName + "> of line "
            + std::to_string(error.startTagLine);
    case XmlErrorKind::TooDeep:
        // The parser's own words for this name an option the user has no
        // way to give.
        return "line " + std::to_string(error.line) + ": elements are nested more than "
            + std::to_string(error.depthLimit) + " deep";
    case XmlErrorKind::EndedEarly:
        // The parser's words for this ("Extra content at the end of the
        // document") point the wrong way.
        return "line " + std::to_string(error.line)
            + ": the file ends before its root element does; it may be cut short";
    default:
        return error.message.empty() ? std::string("the parser gave no reason")
                                     : "line " + std::to_string(error.line) + ": " + error.message;
    }
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
    // A list the word processor saved may nest deeper or hold longer texts
    // than the parser's defaults allow; both are still a good list. Entity
    // expansion, which the limits also guard, cannot happen: a document
    // type declaration is refused before anything is expanded.
    const XmlReadResult read = readXml(text, reader, XmlReadOptions{.lifted = true});
    // Entities other than XML's own would need a document type declaration,
    // which a source list never has.
    if (read.error.kind == XmlErrorKind::DocumentType) {
        return quoted + " is not a bibliography source list (it has a document type declaration)";
    }
    // Offsets hold only while no encoder sits between the file and the
    // parser: the root refuses any input that needs one.
    if (reader.rootSeen && !read.encoding.empty()) {
        return quoted + " is not a bibliography source list (it is in " + read.encoding + ", not UTF-8)";
    }
    if (!reader.refusal.empty()) {
        return quoted + " is not a bibliography source list (" + reader.refusal + ")";
    }
    if (!read.wellFormed()) {
        return quoted + " is not well-formed XML (" + complaint(read.error) + ")";
    }
    if (!reader.rootSeen) {
        return quoted + " is not well-formed XML (line 1: no element at all)";
    }
    if (!reader.emptyRootName.empty()) {
        reader.reopenEmptyRoot();
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
