#pragma once

#include "unique_fd.h"
#include "xml.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bibsources {

// Records that are made but must wait behind one that is not, kept in an
// unnamed file rather than in memory and handed on in the order they came.
// Nothing is made on disk until the first record waits, and the file goes
// with the spool, leaving no trace.
class RecordSpool {
public:
    // folder: where the unnamed file is made; empty means /tmp.
    explicit RecordSpool(std::string folder);

    // Keeps text behind everything kept so far.
    void append(std::string_view text);
    // Hands the next `length` bytes kept, in the order they were kept, to sink.
    void replay(std::uint64_t length, const TextSink &sink);

    // Empty, or the sentence saying why records could not be kept; once it is
    // set nothing more is kept or handed on.
    const std::string &error() const { return failure; }

private:
    bool open();
    bool flush();
    void fail(const std::string &doing, int reason);

    std::string folder;
    UniqueFd file;
    std::string buffer; // kept after the bytes in the file
    std::uint64_t written = 0; // bytes in the file
    std::uint64_t replayed = 0; // of those, bytes handed on
    std::string failure;
};

} // namespace bibsources
