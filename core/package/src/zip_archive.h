#pragma once

#include "zip_input.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bibsources {

// A zip file as the package reads and writes it, whatever zip library does
// it: on the desktop libzip (zip_archive_libzip.cpp), in the page the fflate
// package (zip_archive_browser.cpp and the script it calls). Members are
// told by their index, in the order they are stored; what they are named
// is the package's business (package.h).

enum class ZipOpenFault {
    None,
    NotZip, // no zip file at all
    Unreadable, // a zip file the library cannot read (detail says why)
    NamesUnreadable, // its list of members cannot be read for the names as stored
};

struct ZipOpening {
    ZipOpenFault fault = ZipOpenFault::None;
    std::string detail; // the library's own words, for Unreadable
};

enum class ZipReadFault {
    None,
    NoSize, // the member does not say its size
    TooLarge, // it says it unpacks to more than the limit
    Encrypted,
    CannotOpen, // the library cannot begin to unpack it (detail)
    Damaged, // its data is damaged (detail)
    Longer, // it unpacks to more than it says
};

struct ZipRead {
    std::string bytes; // unpacked; empty unless fault is None
    ZipReadFault fault = ZipReadFault::None;
    std::string detail; // the library's own words, for CannotOpen and Damaged
};

class ZipArchive {
public:
    explicit ZipArchive(ZipInput input);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    const ZipOpening &opening() const;

    // The members' names in stored order. On the desktop they are the stored
    // bytes; in the page, as fflate reads them (UTF-8 when the name says it
    // is, else a character a byte), written in UTF-8: the same for any name
    // in ASCII or flagged as UTF-8.
    const std::vector<std::string> &names() const;

    // The member at index, unpacked: never more than limit bytes are held,
    // whatever the member claims, and a member that unpacks to more than it
    // says is Longer. The desktop's library also refuses members encrypted
    // the traditional way and members whose check sum is wrong; fflate says
    // neither, so in the page those read as their bytes inflate.
    ZipRead read(std::size_t index, std::size_t limit) const;

    // Gives the member at `replaced` (or a new member at the end, named
    // name) the bytes of content when the archive is written; content must
    // stay where it is until then. Empty, or the library's words for why not.
    std::string change(
        std::optional<std::size_t> replaced, const std::string &name, const std::string &content);

    // Writes the whole archive with its changes from the start of outputFd,
    // a fresh, seekable file, every member in its place. On the desktop
    // unchanged members are copied as they are stored; fflate cannot hand
    // over a member's stored bytes, so in the page they are unpacked and
    // packed again. Empty, or the library's words for why it could not be
    // written. The archive cannot be used afterwards.
    std::string write(int outputFd);

    struct State;

private:
    std::unique_ptr<State> state;
};

} // namespace bibsources
