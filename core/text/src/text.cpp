#include "text.h"

#include "accent_table.h"
#include "utf8_code.h"
#include "utf8_cursor.h"
#include "xml.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace bibsources {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80-0x9F; the five bytes it
// leaves undefined become U+FFFD rather than C1 control characters.
constexpr std::array<char32_t, 32> windows1252High{
    0x20AC,
    0xFFFD,
    0x201A,
    0x0192,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x02C6,
    0x2030,
    0x0160,
    0x2039,
    0x0152,
    0xFFFD,
    0x017D,
    0xFFFD,
    0xFFFD,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x02DC,
    0x2122,
    0x0161,
    0x203A,
    0x0153,
    0xFFFD,
    0x017E,
    0x0178,
};

constexpr bool isForbiddenControl(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

// What a field value needs on its way into element content, found in one
// pass: most values are short ASCII with nothing to escape.
enum class ContentNeeds { Copy, Escape, Decode };

enum ByteClass : unsigned char { Plain, Markup, NotPlainAscii };

constexpr std::array<ByteClass, 256> contentByteClasses = [] {
    std::array<ByteClass, 256> classes{};
    for (unsigned c = 0; c < 256; ++c) {
        classes[c] = c >= 0x80 || isForbiddenControl(static_cast<unsigned char>(c)) ? NotPlainAscii : Plain;
    }
    for (const unsigned char c : {'&', '{', '<', '>'}) {
        classes[c] = Markup;
    }
    return classes;
}();

ContentNeeds contentNeeds(std::string_view bytes)
{
    unsigned seen = Plain;
    for (const char ch : bytes) {
        seen |= contentByteClasses[static_cast<unsigned char>(ch)];
    }
    if (seen & NotPlainAscii) {
        return ContentNeeds::Decode;
    }
    return seen == Plain ? ContentNeeds::Copy : ContentNeeds::Escape;
}

// A key packed with its length into one integer, so that looking up a
// candidate is a binary search over integers with no allocation. Keys are at
// most seven bytes, which leaves the low byte for the length.
constexpr size_t shortestKey = 4;
constexpr size_t longestKey = 7;

uint64_t packKey(const char *key, size_t length)
{
    uint64_t packed = 0;
    for (size_t i = 0; i < longestKey; ++i) {
        packed <<= 8;
        if (i < length) {
            packed |= static_cast<unsigned char>(key[i]);
        }
    }
    return (packed << 8) | length;
}

struct PackedRow {
    uint64_t key;
    char utf8[2]; // every letter lies in U+00C0..U+017F: two bytes
};

class AccentIndex {
public:
    AccentIndex()
    {
        const auto table = accentTable();
        for (size_t i = 0; i < table.size(); ++i) {
            std::string letter;
            appendUtf8(letter, table[i].letter);
            rows[i] = {packKey(table[i].key.data(), table[i].key.size()), {letter[0], letter[1]}};
        }
        std::sort(
            rows.begin(), rows.end(), [](const PackedRow &a, const PackedRow &b) { return a.key < b.key; });
    }

    // The row whose key is exactly `length` bytes at `key`, or null.
    const PackedRow *find(const char *key, size_t length) const
    {
        const uint64_t packed = packKey(key, length);
        const auto it = std::lower_bound(rows.begin(), rows.end(), packed,
            [](const PackedRow &row, uint64_t value) { return row.key < value; });
        return it != rows.end() && it->key == packed ? &*it : nullptr;
    }

private:
    std::array<PackedRow, 169> rows{};
};

const AccentIndex &accentIndex()
{
    static const AccentIndex index;
    return index;
}

// The next occurrence of one byte at or after a position, remembered between
// calls: each byte value is searched for by memchr at most once per stretch
// of text, so scanning for several bytes stays linear.
class NextByte {
public:
    NextByte(std::string_view text, char byte)
        : text(text)
        , byte(byte)
    {
    }

    size_t from(size_t position)
    {
        if (found < position || !searched) {
            const void *hit = std::memchr(text.data() + position, byte, text.size() - position);
            found = hit ? size_t(static_cast<const char *>(hit) - text.data()) : text.size();
            searched = true;
        }
        return found;
    }

private:
    std::string_view text;
    char byte;
    size_t found = 0;
    bool searched = false;
};

// At the "{" at `at`: the letter of the accent key that starts there, or the
// brace alone. Returns where the scan goes on.
size_t appendBraceAt(std::string &out, std::string_view text, size_t at, const AccentIndex &index)
{
    // A key is "{\" up to the first "}", four to seven bytes long.
    const size_t limit = std::min(text.size(), at + longestKey);
    size_t close = at + 2;
    while (close < limit && text[close] != '}') {
        ++close;
    }
    const size_t length = close + 1 - at;
    if (close < limit && length >= shortestKey && text[at + 1] == '\\') {
        if (const PackedRow *row = index.find(text.data() + at, length)) {
            out.append(row->utf8, 2);
            return close + 1;
        }
    }
    out += '{';
    return at + 1;
}

// The clean-up as one left-to-right scan: an "&" becomes "&amp;", a key of the
// accent table its letter, and, when asked, "<" and ">" their references;
// everything else is copied. Because every key begins with its only "{" and
// ends with its only "}", keys cannot overlap, and a letter or reference put
// in cannot take part in a later match, this equals replacing row by row.
void scanInto(std::string &out, std::string_view text, bool escapeAngles)
{
    NextByte ampersand(text, '&');
    NextByte brace(text, '{');
    NextByte less(text, '<');
    NextByte greater(text, '>');
    const AccentIndex &index = accentIndex();

    size_t i = 0;
    while (i < text.size()) {
        size_t next = std::min(ampersand.from(i), brace.from(i));
        if (escapeAngles) {
            next = std::min({next, less.from(i), greater.from(i)});
        }
        out.append(text.data() + i, next - i);
        if (next == text.size()) {
            break;
        }
        i = next + 1;
        if (text[next] == '{') {
            i = appendBraceAt(out, text, next, index);
        } else {
            out += xmlReference(text[next], XmlPlace::Content);
        }
    }
}

std::string scan(std::string_view text, bool escapeAngles)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    scanInto(out, text, escapeAngles);
    return out;
}

} // namespace

std::string_view trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\n\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\n\r") - first + 1);
}

std::string decodeParserText(std::string_view bytes)
{
    if (isValidUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else if (c < 0xA0) {
            appendUtf8(out, windows1252High[c - 0x80]);
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

std::string stripXmlForbidden(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    // Runs of allowed characters are copied whole: nearly every text is one.
    size_t keptFrom = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        size_t forbidden = 0;
        if (isForbiddenControl(c)) {
            forbidden = 1;
        } else if (c == 0xEF && i + 2 < utf8.size() && utf8[i + 1] == '\xBF'
            && (utf8[i + 2] == '\xBE' || utf8[i + 2] == '\xBF')) {
            forbidden = 3; // U+FFFE and U+FFFF are EF BF BE and EF BF BF
        }
        if (forbidden > 0) {
            out.append(utf8.substr(keptFrom, i - keptFrom));
            i += forbidden - 1;
            keptFrom = i + 1;
        }
    }
    out.append(utf8.substr(keptFrom));
    return out;
}

std::string cleanupOutput(std::string_view document)
{
    return scan(document, false);
}

std::string escapeAndClean(std::string_view utf8)
{
    return scan(utf8, true);
}

void appendXmlContent(std::string &out, std::string_view parserBytes)
{
    // Nearly every field value is plain ASCII; it needs neither decoding nor
    // stripping, and the copies saved are most of the time spent here.
    switch (contentNeeds(parserBytes)) {
    case ContentNeeds::Copy:
        out.append(parserBytes);
        return;
    case ContentNeeds::Escape:
        scanInto(out, parserBytes, true);
        return;
    case ContentNeeds::Decode:
        scanInto(out, stripXmlForbidden(decodeParserText(parserBytes)), true);
        return;
    }
}

size_t utf8CharacterLength(std::string_view bytes)
{
    return validCharacterLength(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

} // namespace bibsources
