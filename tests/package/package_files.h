#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bibsources::testing {

// One member of a zip package made for a test.
struct Member {
    std::string name;
    std::string text;

    bool operator==(const Member &) const = default;
};
using Members = std::vector<Member>;

// A member whose stored data is a deflate stream of `unpacked` zero bytes
// (gigabytes in a few megabytes), whose header claims `claimed` bytes.
struct ZeroMember {
    std::string name;
    std::uint64_t unpacked = 0;
    std::uint64_t claimed = 0;
};

// Writes members, in order and deflated, then the zero members, as a zip
// file at path.
void writePackage(
    const std::filesystem::path &path, const Members &members, const std::vector<ZeroMember> &zeros = {});

// The bytes of a zip file of members in which every occurrence of each
// first string is then replaced by the second, of the same length: names
// libzip will not write (two alike, a NUL in one) made from names it will.
std::string packageBytes(
    const Members &members, const std::vector<std::pair<std::string, std::string>> &replacements);

// Every member of the zip file at path, in stored order, its name as stored:
// unpacked, or as stored (still compressed).
Members readPackage(const std::filesystem::path &path);
Members storedPackage(const std::filesystem::path &path);

// The smallest word-processing document: content types, package
// relationships, a main part at mainPart and its relationships, in that
// order, with `extra` relationships of the main part and `more` members after.
struct DocumentShape {
    std::string mainPart = "word/document.xml";
    std::string body = "<w:p><w:r><w:t>Hello</w:t></w:r></w:p>"; // the main part's w:body
    std::string mainRelationships{}; // extra <Relationship/> elements
    std::string contentTypes{}; // extra <Default/> or <Override/> elements
    std::string packageRelationshipType
        = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
    std::string mainContentType
        = "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml";
    Members more{};
};
Members wordDocument(const DocumentShape &shape = {});

// A custom XML item at number n holding text, with its properties and their
// link; and the main part's relationship to it.
Members customXmlItem(int n, const std::string &text);
std::string customXmlRelationship(int n, const std::string &id);

// A word-processing document whose source list, at custom XML item n, is
// `list`; `shape` gives the rest, its members ahead of the item.
Members documentWithList(const std::string &list, int n = 1, DocumentShape shape = {});

// A source list as the word processor saves one: on one line, its chosen
// style on the root.
std::string wordSourceList(const std::string &records);

// The same XML with <!DOCTYPE b:Sources> after its declaration.
std::string withDocumentType(const std::string &xml);

// A complex field as the word processor writes it: its instruction, in runs,
// and its cached result; and one run of instruction text.
std::string field(
    const std::string &instructionRuns, const std::string &result = "<w:r><w:t>(x)</w:t></w:r>");
std::string instruction(const std::string &text);

} // namespace bibsources::testing
