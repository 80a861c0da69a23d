#include "tidy_document.h"

#include "crossref_inheritance.h"
#include "tidy_guid.h"
#include "tidy_names.h"
#include "tidy_record.h"

#include <algorithm>
#include <cctype>
#include <strings.h>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

namespace bibsources {

namespace {

// BibTeX compares keys without regard to case: "Smith01" and "smith01" are
// one key, for a crossref as for a duplicate.
std::string foldedKey(std::string_view key)
{
    std::string folded(key);
    for (char &c : folded) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return folded;
}

bool writesRecord(const Entry &entry)
{
    for (const char *type : {"string", "preamble", "comment"}) {
        if (::strcasecmp(entry.type.c_str(), type) == 0) {
            return false;
        }
    }
    return true;
}

// A tag made of the name's letters and digits (blanks and punctuation go,
// so "van der Berg" gives "vanderBerg") and the year's digits.
std::string tagBase(const Entry &entry)
{
    std::string base;
    for (const char c : firstContributorName(entry.fields)) {
        if (static_cast<unsigned char>(c) >= 0x80 || std::isalnum(static_cast<unsigned char>(c))) {
            base += c;
        }
    }
    base = base.empty() ? "Anonymous" : base;
    for (const char c : entryYear(entry)) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            base += c;
        }
    }
    return base;
}

// a ... z, then aa, ab, ...: never runs out.
std::string suffixFor(int index)
{
    std::string suffix;
    for (++index; index > 0; index = (index - 1) / 26) {
        suffix.insert(suffix.begin(), static_cast<char>('a' + (index - 1) % 26));
    }
    return suffix;
}

std::string displayName(const std::string &inputPath)
{
    return inputPath == "-" ? "(standard input)" : inputPath;
}

} // namespace

TidyWriter::TidyWriter(std::string inputPath, TextSink sink, std::string spoolFolder)
    : inputPath(std::move(inputPath))
    , sink(std::move(sink))
    , spool(std::move(spoolFolder))
{
}

void TidyWriter::add(Entry &&entry)
{
    if (!writesRecord(entry)) {
        return;
    }
    ++report.recordsWritten;
    const std::string key = foldedKey(entry.key);
    Waiting current;
    current.entry = std::move(entry);
    current.ordinal = entriesSeen++;
    current.keyIsFree
        = !key.empty() && firstWithKey.emplace(key, KeyPlace{current.ordinal, current.entry.line}).second;
    if (current.keyIsFree) {
        if (const std::string_view parent = crossrefOf(current.entry); !parent.empty()) {
            crossrefOfKey.emplace(key, parent);
        }
        welcome(key, current.entry);
    }
    const Chain chain = chainOf(current.entry);
    current.chainKnown = chain.unseen.empty();
    if (current.keyIsFree && chain.unseen.empty() && chain.letGo.empty()) {
        write(recordFor(current));
        return;
    }
    if (!chain.unseen.empty()) {
        childrenOf[chain.unseen].push_back(current.ordinal);
    }
    waiting.push_back(std::move(current));
}

bool TidyWriter::wantsEntriesAgain()
{
    if (!wantedKnown) {
        wantedKnown = true;
        for (const Waiting &entry : waiting) {
            for (const std::string &key :
                entry.record ? std::vector<std::string>{} : chainOf(entry.entry).letGo) {
                wanted.emplace(key, firstWithKey.at(key).line);
            }
        }
    }
    return !wanted.empty();
}

void TidyWriter::addAgain(const Entry &entry)
{
    const auto found = wanted.find(foldedKey(entry.key));
    if (found != wanted.end() && found->second == entry.line && writesRecord(entry)) {
        kept.emplace(found->first, entry);
        wanted.erase(found);
    }
}

TidyReport TidyWriter::finish()
{
    if (wantsEntriesAgain()) {
        report.error = displayName(inputPath) + " changed while it was being read; convert it again";
    }
    while (!waiting.empty()) {
        Waiting &first = waiting.front();
        if (!first.record) {
            first.record = recordFor(first);
        }
        writeReady();
    }
    if (report.error.empty()) {
        report.error = spool.error();
    }
    // The messages of records made at once come first, then those of the
    // records that waited, each in input order, however late a parent came.
    std::stable_sort(messages.begin(), messages.end(), [](const Message &a, const Message &b) {
        return std::tie(a.waited, a.ordinal) < std::tie(b.waited, b.ordinal);
    });
    for (Message &message : messages) {
        report.messages.push_back(std::move(message.text));
    }
    return std::move(report);
}

// An entry has just come with a key that waiting children named: it is kept
// for them, and those whose chain is now complete get their records.
void TidyWriter::welcome(const std::string &key, const Entry &entry)
{
    const auto found = childrenOf.find(key);
    if (found == childrenOf.end()) {
        return;
    }
    const std::vector<std::size_t> children = std::move(found->second);
    childrenOf.erase(found);
    kept.emplace(key, entry);
    for (const std::size_t ordinal : children) {
        Waiting &child = *waitingAt(ordinal);
        const Chain chain = chainOf(child.entry);
        if (!chain.unseen.empty()) {
            childrenOf[chain.unseen].push_back(ordinal);
        } else if (child.keyIsFree && chain.letGo.empty()) {
            child.record = recordFor(child);
        }
    }
    writeReady();
}

// Follows the crossref chain as resolveCrossrefs does, through the keys
// seen so far, to where it ends, closes a cycle or reaches a key to come.
TidyWriter::Chain TidyWriter::chainOf(const Entry &entry) const
{
    Chain chain;
    std::vector<std::string> seen{foldedKey(entry.key)};
    for (std::string_view parentKey = crossrefOf(entry); !parentKey.empty();) {
        std::string key = foldedKey(parentKey);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
            break;
        }
        if (!firstWithKey.count(key)) {
            chain.unseen = std::move(key);
            break;
        }
        if (!keptEntry(key)) {
            chain.letGo.push_back(key);
        }
        const auto names = crossrefOfKey.find(key);
        parentKey = names == crossrefOfKey.end() ? std::string_view() : names->second;
        seen.push_back(std::move(key));
    }
    return chain;
}

// The first entry with a (folded) key, while it is still at hand: kept for
// a child, or waiting for its own record.
const Entry *TidyWriter::keptEntry(const std::string &key) const
{
    if (const auto found = kept.find(key); found != kept.end()) {
        return &found->second;
    }
    const auto place = firstWithKey.find(key);
    if (place == firstWithKey.end()) {
        return nullptr;
    }
    const auto found = std::lower_bound(waiting.begin(), waiting.end(), place->second.ordinal,
        [](const Waiting &entry, std::size_t ordinal) { return entry.ordinal < ordinal; });
    return found != waiting.end() && found->ordinal == place->second.ordinal ? &found->entry : nullptr;
}

TidyWriter::Waiting *TidyWriter::waitingAt(std::size_t ordinal)
{
    const auto found = std::lower_bound(waiting.begin(), waiting.end(), ordinal,
        [](const Waiting &entry, std::size_t wanted) { return entry.ordinal < wanted; });
    return found != waiting.end() && found->ordinal == ordinal ? &*found : nullptr;
}

void TidyWriter::write(std::string &&record)
{
    if (waiting.empty()) {
        sink(record);
        return;
    }
    spool.append(record);
    waiting.back().spooledBehind += record.size();
}

// Writes the records at the head of the queue that are made, each followed
// by those spooled behind it. An entry written while others still wait may
// be the parent of one of them, so it is kept until nothing waits.
void TidyWriter::writeReady()
{
    while (!waiting.empty() && waiting.front().record) {
        Waiting first = std::move(waiting.front());
        waiting.pop_front();
        sink(*first.record);
        spool.replay(first.spooledBehind, sink);
        if (waiting.empty()) {
            kept.clear();
        } else if (first.keyIsFree) {
            kept.emplace(foldedKey(first.entry.key), std::move(first.entry));
        }
    }
}

EntryLookup TidyWriter::lookup() const
{
    return [this](std::string_view key) { return keptEntry(foldedKey(key)); };
}

std::string TidyWriter::recordFor(const Waiting &item)
{
    const Entry &entry = item.entry;
    const bool waited = !item.keyIsFree || !item.chainKnown;
    const auto tell = [&](std::string text) {
        messages.push_back(Message{waited, item.ordinal, std::move(text)});
    };
    const std::string name = displayName(inputPath);
    const std::string about
        = name + ": entry '" + entry.key + "' near line " + std::to_string(entry.line) + " ";
    Resolved resolved;
    const Entry *complete = &entry;
    if (!crossrefOf(entry).empty()) {
        resolved = resolveCrossrefs(entry, lookup());
        complete = &resolved.entry;
        if (!resolved.problem.empty()) {
            tell(about + resolved.problem);
        }
    }
    std::string tag = entry.key;
    if (!item.keyIsFree) {
        tag = freshTag(*complete);
        tell(name + ": entry near line " + std::to_string(entry.line)
            + (entry.key.empty() ? " has no key" : " repeats the key '" + entry.key + "'") + "; tagged "
            + tag);
    }
    TidyRecord record = tidyRecord(*complete, tag, sourceGuid(inputPath, tag));
    for (const std::string &problem : record.problems) {
        tell(about + problem);
    }
    return std::move(record.text);
}

std::string TidyWriter::freshTag(const Entry &entry)
{
    // Each base remembers how far its suffixes have got, so a file of many
    // keyless entries by one author costs no more than one with few.
    const std::string base = tagBase(entry);
    std::string tag = base;
    int &suffix = suffixesTried[base];
    // Every key of the file is known by now: generated tags avoid them all.
    while (firstWithKey.count(foldedKey(tag)) || !generatedTags.insert(foldedKey(tag)).second) {
        tag = base + suffixFor(suffix++);
    }
    return tag;
}

} // namespace bibsources
