#pragma once

#include "unique_fd.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace bibsources {

// What the byte-order mark at the start of an input says. The parser reads
// bytes and knows no encodings: a .bib saved as UTF-16 or UTF-32 ("Unicode"
// in some editors) is unreadable to it until it has become UTF-8.
struct ByteOrderMark {
    std::size_t length = 0; // bytes of the mark; 0: none
    const char *encoding = nullptr; // what the rest is in, for iconv; null: UTF-8
};

// Judges the first (up to four) bytes of an input. Pure.
ByteOrderMark byteOrderMarkOf(std::string_view firstBytes);

struct TranscodedInput {
    UniqueFd fd; // an anonymous in-memory file holding UTF-8, at its start
    std::string error; // set instead, in words
};

// The text of `fd` after its mark, turned from mark.encoding into UTF-8 by
// iconv. A sequence that is not a character in that encoding (a lone
// surrogate, a cut-off last character) becomes U+FFFD.
TranscodedInput transcodeToUtf8(int fd, const ByteOrderMark &mark);

} // namespace bibsources
