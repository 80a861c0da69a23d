#include "combining_mark.h"

#include <utf8proc.h>

#include <algorithm>
#include <array>

namespace bibsources {

namespace {

// A letter rarely carries more than two marks; one with more than this is
// left alone rather than given a buffer of its own.
constexpr utf8proc_ssize_t maxCluster = 16;

bool isMark(utf8proc_int32_t c)
{
    const utf8proc_category_t category = utf8proc_category(c);
    return category == UTF8PROC_CATEGORY_MN || category == UTF8PROC_CATEGORY_MC
        || category == UTF8PROC_CATEGORY_ME;
}

// TeX puts an accent on any box, but a mark on a backslash or a brace left
// from unknown TeX would only garble it: marks go on letters and digits.
bool takesMarks(utf8proc_int32_t c)
{
    switch (utf8proc_category(c)) {
    case UTF8PROC_CATEGORY_LU:
    case UTF8PROC_CATEGORY_LL:
    case UTF8PROC_CATEGORY_LT:
    case UTF8PROC_CATEGORY_LM:
    case UTF8PROC_CATEGORY_LO:
    case UTF8PROC_CATEGORY_ND:
        return true;
    default:
        return false;
    }
}

bool goesAbove(char32_t mark)
{
    return utf8proc_get_property(utf8proc_int32_t(mark))->combining_class == 230;
}

// Length in bytes of the first code point and the marks that follow it, or
// 0 when the text does not start with a letter or digit.
utf8proc_ssize_t clusterLength(const std::string &text, size_t from)
{
    const auto *bytes = reinterpret_cast<const utf8proc_uint8_t *>(text.data() + from);
    const auto size = utf8proc_ssize_t(text.size() - from);
    utf8proc_int32_t c = 0;
    utf8proc_ssize_t length = utf8proc_iterate(bytes, size, &c);
    if (length <= 0 || !takesMarks(c)) {
        return 0;
    }
    while (length < size) {
        const utf8proc_ssize_t next = utf8proc_iterate(bytes + length, size - length, &c);
        if (next <= 0 || !isMark(c)) {
            break;
        }
        length += next;
    }
    return length;
}

// Writes the code points of `buffer` over the `length` bytes at `from`.
void replaceWithCodePoints(
    std::string &text, size_t from, size_t length, const utf8proc_int32_t *buffer, utf8proc_ssize_t count)
{
    std::array<utf8proc_uint8_t, maxCluster * 4> encoded{};
    utf8proc_ssize_t encodedLength = 0;
    for (utf8proc_ssize_t i = 0; i < count; ++i) {
        encodedLength += utf8proc_encode_char(buffer[i], &encoded[size_t(encodedLength)]);
    }
    text.replace(from, length, reinterpret_cast<const char *>(encoded.data()), size_t(encodedLength));
}

bool isAsciiLetterOrDigit(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

bool addCombiningMark(std::string &text, size_t from, char32_t mark)
{
    // Most accents go on one ASCII letter with no mark behind it yet: that
    // pair is already decomposed and in canonical order, and only needs
    // composing.
    if (from < text.size() && isAsciiLetterOrDigit(text[from])
        && (from + 1 == text.size() || static_cast<unsigned char>(text[from + 1]) < 0x80)) {
        utf8proc_int32_t pair[2] = {text[from], utf8proc_int32_t(mark)};
        const utf8proc_ssize_t count
            = utf8proc_normalize_utf32(pair, 2, utf8proc_option_t(UTF8PROC_COMPOSE | UTF8PROC_STABLE));
        replaceWithCodePoints(text, from, 1, pair, count);
        return true;
    }
    const utf8proc_ssize_t length = clusterLength(text, from);
    std::array<utf8proc_uint8_t, maxCluster * 4> encoded{};
    if (length == 0 || length > utf8proc_ssize_t(encoded.size()) - 4) {
        return false;
    }
    // Decomposing the letter together with the new mark puts the marks in
    // canonical order, which composition needs: c + acute + cedilla must
    // become U+1E09, not ć followed by a loose cedilla.
    std::copy_n(text.data() + from, length, encoded.begin());
    const utf8proc_ssize_t encodedLength
        = length + utf8proc_encode_char(utf8proc_int32_t(mark), &encoded[size_t(length)]);
    std::array<utf8proc_int32_t, maxCluster> buffer{};
    utf8proc_ssize_t count = utf8proc_decompose(encoded.data(), encodedLength, buffer.data(), maxCluster,
        utf8proc_option_t(UTF8PROC_DECOMPOSE | UTF8PROC_STABLE));
    if (count <= 0 || count > maxCluster) {
        return false;
    }
    if (goesAbove(mark) && (buffer[0] == 0x0131 || buffer[0] == 0x0237)) {
        buffer[0] = buffer[0] == 0x0131 ? 'i' : 'j';
    }
    count = utf8proc_normalize_utf32(
        buffer.data(), count, utf8proc_option_t(UTF8PROC_COMPOSE | UTF8PROC_STABLE));
    replaceWithCodePoints(text, from, size_t(length), buffer.data(), count);
    return true;
}

} // namespace bibsources
