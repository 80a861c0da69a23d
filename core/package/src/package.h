#pragma once

#include "zip_archive.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// The most a part we read may unpack to unless the caller says otherwise. A
// zip member can inflate a thousandfold and more, so its own claim of its
// size is never trusted: reading stops here.
constexpr std::size_t defaultPartLimit = std::size_t(4) << 20;

struct PartText {
    std::string text; // the part's bytes, unpacked
    std::string error; // empty when it was read; else why not, naming the part

    bool ok() const { return error.empty(); }
};

// A zip package (a .docx and its kin) opened for reading, and written out
// again with some parts changed or added. Member names are only ever looked
// up and compared, never used as paths on disk. Part names here are zip
// member names: "word/document.xml", no leading slash, compared as the
// package format does, without regard to ASCII case.
//
// Nothing is read whole unless asked for, and then only up to a limit;
// writing keeps every unchanged member, in the order it had (zip_archive.h
// says how each zip library copies it).
class Package {
public:
    // Opens the file at path. error() says why it is not a zip package, or
    // why its members cannot be told apart by name: two of one name
    // (without regard to ASCII case), or a NUL in a name.
    explicit Package(const std::string &path);
    // Opens the package in bytes, which messages call name (the name of
    // the file they came from).
    Package(const std::string &name, std::string bytes);
    ~Package();
    Package(const Package &) = delete;
    Package &operator=(const Package &) = delete;

    const std::string &error() const { return failure; }
    const std::string &path() const { return filePath; }

    // The members, in the order they are stored.
    std::vector<std::string> memberNames() const;
    bool contains(std::string_view partName) const;

    // The part, unpacked, or an error when there is no such part, when it is
    // encrypted or damaged, or when it would unpack to more than limit bytes.
    // At most limit bytes are ever held.
    PartText readPart(std::string_view partName, std::size_t limit = defaultPartLimit) const;

    // Gives the part new content when the package is written: in its place
    // when it is there, else as a new member at the end. False (with error()
    // set) when the change cannot be recorded.
    bool setPart(const std::string &partName, std::string text);

    // Writes the whole package, with the parts set (at least one), from the
    // start of outputFd, which must be a fresh, seekable file. Returns an empty string
    // or why it could not be written. The package cannot be used afterwards.
    std::string writeTo(int outputFd);

private:
    void open(ZipInput input);
    std::optional<std::size_t> indexOf(std::string_view partName) const;

    std::string filePath;
    std::unique_ptr<ZipArchive> archive; // null once written, or when it could not be opened
    std::vector<std::unique_ptr<std::string>> newContents; // kept until written
    std::string failure;
};

} // namespace bibsources
