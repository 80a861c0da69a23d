#include "input_text.h"

#include "entry_boundary.h"
#include "unique_fd.h"

#include <algorithm>

namespace bibsources {

std::uint64_t InputText::entryStartAfter(std::uint64_t consumed) const
{
    const std::uint64_t back = std::min<std::uint64_t>(consumed, 2);
    return nextEntryStart(consumed, readAt(fd, consumed - back, back));
}

InputText::Span InputText::entryAt(std::uint64_t from) const
{
    EntryEndFinder finder;
    for (std::uint64_t offset = from;;) {
        const std::string chunk = readAt(fd, offset, chunkSize);
        if (chunk.empty()) {
            break;
        }
        if (const std::optional<std::uint64_t> end = finder.feed(chunk)) {
            return {from + finder.start().value_or(0), from + *end};
        }
        offset += chunk.size();
    }
    const std::uint64_t end = from + finder.finish();
    return {from + finder.start().value_or(0), std::max(end, std::min(from + 1, size))};
}

bool InputText::hasEntryFrom(std::uint64_t offset) const
{
    for (std::string chunk; !(chunk = readAt(fd, offset, chunkSize)).empty(); offset += chunk.size()) {
        if (chunk.find('@') != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::optional<std::uint64_t> InputText::textWithoutEntries(std::uint64_t from) const
{
    std::optional<std::uint64_t> firstText;
    bool inComment = false;
    for (std::string chunk; !(chunk = readAt(fd, from, chunkSize)).empty(); from += chunk.size()) {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            const char c = chunk[i];
            if (inComment) {
                inComment = c != '\n';
            } else if (c == '%') {
                inComment = true;
            } else if (c == '@') {
                return std::nullopt;
            } else if (!firstText && c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\f'
                && c != '\v') {
                firstText = from + i;
            }
        }
    }
    return firstText;
}

std::optional<std::uint64_t> InputText::lineStart(std::uint64_t from, int line, std::uint64_t limit)
{
    int current = lineAt(from);
    for (std::uint64_t offset = from; current < line && offset < limit;) {
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, limit - offset));
        const std::string chunk = readAt(fd, offset, length);
        if (chunk.empty()) {
            break;
        }
        for (std::size_t feed = chunk.find('\n'); feed != std::string::npos;
             feed = chunk.find('\n', feed + 1)) {
            if (++current == line) {
                const std::uint64_t start = offset + feed + 1;
                return start < limit ? std::optional(start) : std::nullopt;
            }
        }
        offset += chunk.size();
    }
    return std::nullopt;
}

std::optional<std::uint64_t> InputText::entryLineIn(std::uint64_t from, std::uint64_t limit) const
{
    bool startsLine = true;
    for (std::uint64_t offset = from; offset < limit; offset += chunkSize) {
        const std::string chunk = readAt(fd, offset, chunkSize + lineLookahead);
        if (chunk.empty()) {
            break;
        }
        // Lines that start in this chunk are judged here, the rest with the next.
        const auto own = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, limit - offset));
        if (const std::optional<std::size_t> sign = findEntryLine(chunk, own, startsLine)) {
            return offset + *sign;
        }
        startsLine = chunk.size() >= chunkSize && chunk[chunkSize - 1] == '\n';
    }
    return std::nullopt;
}

std::string InputText::read(std::uint64_t offset, std::size_t length) const
{
    return readAt(fd, offset, length);
}

int InputText::lineAt(std::uint64_t offset)
{
    if (offset < countedUpTo) {
        countedUpTo = 0;
        linesBefore = 1;
    }
    while (countedUpTo < offset) {
        const auto length
            = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, offset - countedUpTo));
        const std::string chunk = readAt(fd, countedUpTo, length);
        if (chunk.empty()) {
            break;
        }
        linesBefore += static_cast<int>(std::count(chunk.begin(), chunk.end(), '\n'));
        countedUpTo += chunk.size();
    }
    return linesBefore;
}

} // namespace bibsources
