#include "converted_records.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace bibsources {

namespace {

constexpr std::string_view recordStart = "<b:Source>";
constexpr std::string_view recordEnd = "</b:Source>";

// The text of the first `name` element of a record, as written.
std::string_view elementText(std::string_view record, std::string_view name)
{
    const std::string open = "<b:" + std::string(name) + ">";
    const size_t begin = record.find(open);
    if (begin == std::string_view::npos) {
        return {};
    }
    const size_t textBegin = begin + open.size();
    const size_t end = record.find('<', textBegin);
    return end == std::string_view::npos ? std::string_view() : record.substr(textBegin, end - textBegin);
}

void appendUtf8(std::string &out, unsigned long codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// "&amp;" gives "&", "&#233;" and "&#xE9;" give "é"; anything else that
// starts with '&' is kept as it stands.
size_t decodeReference(std::string_view text, size_t at, std::string &out)
{
    static constexpr std::pair<std::string_view, char> named[]
        = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto &[entity, character] : named) {
        if (text.substr(at).starts_with(entity)) {
            out += character;
            return entity.size();
        }
    }
    const size_t semicolon = text.find(';', at);
    if (text.substr(at).starts_with("&#") && semicolon != std::string_view::npos) {
        const bool hex = text.substr(at).starts_with("&#x");
        const char *first = text.data() + at + (hex ? 3 : 2);
        unsigned long codePoint = 0;
        const auto [end, error] = std::from_chars(first, text.data() + semicolon, codePoint, hex ? 16 : 10);
        if (error == std::errc() && end == text.data() + semicolon && codePoint <= 0x10FFFF) {
            appendUtf8(out, codePoint);
            return semicolon + 1 - at;
        }
    }
    out += '&';
    return 1;
}

} // namespace

std::string decodedXmlText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '&') {
            i += decodeReference(text, i, out);
        } else {
            out += text[i++];
        }
    }
    return out;
}

ConvertedRecords::ConvertedRecords(const std::string &spoolFolder)
{
    const std::string folder = spoolFolder.empty() ? "/tmp" : spoolFolder;
    spool.reset(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
}

void ConvertedRecords::append(std::string_view text)
{
    pending.append(text);
    takeRecords();
}

// Cuts every whole record out of the pending text. Between records only the
// last few bytes are kept, in case a marker is split between two pieces.
void ConvertedRecords::takeRecords()
{
    size_t position = 0;
    for (;;) {
        if (!inRecord) {
            const size_t start = pending.find(recordStart, position);
            if (start == std::string::npos) {
                position
                    = std::max(position, pending.size() - std::min(pending.size(), recordStart.size() - 1));
                break;
            }
            position = start;
            inRecord = true;
        }
        const size_t end = pending.find(recordEnd, position + recordStart.size());
        if (end == std::string::npos) {
            break;
        }
        keep(std::string_view(pending).substr(position, end + recordEnd.size() - position));
        position = end + recordEnd.size();
        inRecord = false;
    }
    pending.erase(0, position);
}

void ConvertedRecords::keep(std::string_view recordText)
{
    ConvertedRecord record;
    record.offset = kept;
    record.size = recordText.size();
    record.tag = decodedXmlText(elementText(recordText, "Tag"));
    record.guid = std::string(elementText(recordText, "Guid"));
    if (spool.valid()) {
        if (!writeAll(spool.get(), recordText) && failure.empty()) {
            failure = std::string("cannot keep the converted records in a temporary file: ")
                + std::strerror(errno);
        }
    } else {
        memory.append(recordText);
    }
    kept += recordText.size();
    list.push_back(std::move(record));
}

std::string ConvertedRecords::textOf(const ConvertedRecord &record) const
{
    if (!spool.valid()) {
        return memory.substr(record.offset, record.size);
    }
    std::string text(record.size, '\0');
    size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got = ::pread(spool.get(), text.data() + filled, text.size() - filled,
            static_cast<off_t>(record.offset + filled));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return {};
        }
        filled += static_cast<size_t>(got);
    }
    return text;
}

} // namespace bibsources
