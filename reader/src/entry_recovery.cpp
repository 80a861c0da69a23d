#include "entry_recovery.h"

#include "entry_boundary.h"
#include "entry_mending.h"
#include "parser_messages.h"

#include <algorithm>

namespace bibsources::reader {

namespace {

int linesIn(std::string_view text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

std::string linesNamed(int first, int last)
{
    return last > first ? "lines " + std::to_string(first) + "-" + std::to_string(last)
                        : "line " + std::to_string(first);
}

// Where the entry ends judged from its delimiters, within what was read.
std::size_t delimitedEnd(std::string_view text)
{
    EntryEndFinder finder;
    const std::optional<std::uint64_t> end = finder.feed(text);
    return static_cast<std::size_t>(std::min<std::uint64_t>(end.value_or(finder.finish()), text.size()));
}

std::optional<Recovery> mended(std::string_view whole, int line, bool cutShort, const ReadAlone &readAlone)
{
    const std::optional<MendedEntry> mending = mendEntry(whole);
    if (!mending || (mending->closed && !cutShort)) {
        return std::nullopt;
    }
    std::optional<Entry> entry = readAlone(mending->text, line);
    if (!entry || (mending->closed && valueHoldsAField(*entry))) {
        return std::nullopt;
    }
    if (mending->key) {
        entry->key = *mending->key;
    }
    Recovery recovery;
    if (mending->closed) {
        const int lastLine = line + linesIn(whole) - 1;
        recovery.messages.push_back(Message{line, std::max(line, lastLine), Message::Kind::Changed,
            "entry '" + entry->key + "' on line " + std::to_string(line) + " is not closed; read up to line "
                + std::to_string(lastLine) + " and kept"});
    }
    recovery.kept = std::move(entry);
    recovery.resumeAt = whole.size();
    return recovery;
}

} // namespace

Recovery recoverEntry(
    std::string_view text, int line, bool atInputEnd, std::vector<Message> said, const ReadAlone &readAlone)
{
    const std::optional<std::size_t> resume = findEntryLine(text, text.size(), false);
    const std::size_t end = resume ? *resume : delimitedEnd(text);
    const bool cutShort = resume.has_value() || (atInputEnd && end >= text.size());
    if (std::optional<Recovery> kept = mended(text.substr(0, end), line, cutShort, readAlone)) {
        return std::move(*kept);
    }
    Recovery recovery;
    recovery.skipped = true;
    if (!resume) {
        recovery.resumeAt = text.size();
        for (Message &message : said) {
            recovery.messages.push_back(withEntryLine(std::move(message), line));
        }
        return recovery;
    }
    const std::string_view broken = brokenDelimiters(text.substr(0, *resume));
    const int lastLine = line + linesIn(text.substr(0, *resume)) - 1;
    std::string reason = said.empty() ? std::string("the parser could not read it") : said.front().text;
    recovery.messages.push_back(Message{line, std::max(line, lastLine), Message::Kind::Skipped,
        linesNamed(line, lastLine) + " skipped: " + (broken.empty() ? reason : std::string(broken))});
    recovery.resumeAt = *resume;
    return recovery;
}

} // namespace bibsources::reader
