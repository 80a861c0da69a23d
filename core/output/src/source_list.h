#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// A namespace declaration: xmlns:prefix="uri", or xmlns="uri" for the
// default namespace (prefix "").
struct NamespaceDeclaration {
    std::string prefix;
    std::string uri;
};

// One b:Source element of a source list, as it stands in the file.
struct SourceListRecord {
    size_t begin = 0; // offset of the '<' of its start tag
    size_t end = 0; // offset just past the '>' of its end tag
    // The text of its b:Tag child, with entities and character references
    // decoded; none when the record has no b:Tag.
    std::optional<std::string> tag;
    // The text of its b:Guid child, decoded the same way; empty when it has none.
    std::string guid;
    size_t nameEnd = 0; // offset just past the element's name in its start tag
    // The prefixes ("" for the default namespace) its elements and
    // attributes use without the record declaring them: the root binds them.
    std::vector<std::string> inheritedPrefixes;
};

// A bibliography source list read by an XML parser, keeping its bytes: the
// records can be cut out of text unchanged, attributes, comments, CDATA,
// unknown elements and whitespace included.
struct SourceList {
    std::string text; // the whole file
    std::vector<SourceListRecord> records; // the root's b:Source children, in order
    // Where records can be added: the start of the root's end tag. A root
    // written as an empty element (<b:Sources/>) is reopened in text as
    // <b:Sources></b:Sources> so that it can hold them.
    size_t recordsEnd = 0;
    std::vector<NamespaceDeclaration> rootNamespaces; // declared on the root element

    std::string_view recordText(const SourceListRecord &record) const;
    // The namespace the root binds prefix to; none when it binds nothing.
    std::optional<std::string> rootBinding(std::string_view prefix) const;
};

struct SourceListParse {
    SourceList list;
    std::string error; // empty when text is a source list; else why not

    bool ok() const { return error.empty(); }
};

// Reads text as a source list: well-formed UTF-8 XML (no other encoding, no
// document type declaration) whose root element is Sources in the
// bibliography namespace, with any prefix. Deep nesting and long texts are
// read like any other. Otherwise error is one sentence naming the file as
// displayName, in words a person can act on: "'x.xml' is not a bibliography
// source list (its root element is 'html')", "... (it is not UTF-8: byte
// 1234 is 0xE9)". The parser works on text in place: a list costs its own
// size in memory, not twice that.
SourceListParse parseSourceList(std::string text, std::string_view displayName);

struct SourceListFile {
    bool exists = false; // false: there is no file at the path (error is empty then)
    SourceList list;
    std::string error; // the file exists but cannot be read or is not a source list

    bool ok() const { return error.empty(); }
};

// Reads the file at path as a source list, as parseSourceList does. Only a
// regular file is read: a FIFO, socket, device or directory is refused
// without being opened, so that nothing waits on it.
SourceListFile readSourceListFile(const std::string &path);

// The same for a file already open as fd; path names it in messages.
SourceListFile readSourceListFrom(int fd, const std::string &path);

// Empty when path names nothing or a regular file (through links); else the
// reason, as the end of a sentence: "it is a FIFO".
std::string notARegularFile(const std::string &path);

} // namespace bibsources
