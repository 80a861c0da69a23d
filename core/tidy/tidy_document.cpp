#include "tidy_document.h"

#include "tidy_guid.h"
#include "tidy_names.h"
#include "tidy_record.h"

#include <algorithm>
#include <cctype>
#include <strings.h>
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

std::string_view crossrefOf(const Entry &entry)
{
    for (const Field &field : entry.fields) {
        if (field.name == "crossref") {
            return field.text;
        }
    }
    return {};
}

bool hasField(const Entry &entry, std::string_view name)
{
    for (const Field &field : entry.fields) {
        if (field.name == name) {
            return true;
        }
    }
    return false;
}

// The child with every field it lacks taken from its parent, as BibTeX
// does; the parent's title becomes the child's booktitle, not its title.
Entry withInherited(const Entry &child, const Entry &parent)
{
    Entry merged = child;
    for (const Field &field : parent.fields) {
        if (field.name == "crossref") {
            continue;
        }
        if (field.name == "title" && !hasField(merged, "booktitle")) {
            merged.fields.push_back(Field{"booktitle", field.text, std::nullopt});
        }
        if (!hasField(merged, field.name)) {
            merged.fields.push_back(field);
        }
    }
    return merged;
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
    // The children that waited for this entry take from it before it can
    // be let go.
    if (current.keyIsFree) {
        adopt(childrenOfUnseen, key, current.entry);
        writeReady();
    }
    if (placeWithParent(current) && current.keyIsFree) {
        write(recordFor(current.entry, true, current.parentFound));
    } else {
        waiting.push_back(std::move(current));
    }
}

void TidyWriter::addAgain(const Entry &entry)
{
    const std::string key = foldedKey(entry.key);
    const auto place = firstWithKey.find(key);
    if (!key.empty() && writesRecord(entry) && place != firstWithKey.end()
        && place->second.line == entry.line) {
        adopt(childrenOfLetGo, key, entry);
        writeReady();
    }
}

TidyReport TidyWriter::finish()
{
    if (!childrenOfLetGo.empty()) {
        report.error = displayName(inputPath) + " changed while it was being read; convert it again";
    }
    // Records are made in input order, so that generated tags and messages
    // come in the order of their entries.
    while (!waiting.empty()) {
        Waiting &first = waiting.front();
        if (!first.record) {
            first.record = recordFor(first.entry, first.keyIsFree, first.parentFound);
        }
        writeReady();
    }
    if (report.error.empty()) {
        report.error = spool.error();
    }
    return std::move(report);
}

// Takes what the entry's parent gives when that is at hand; false when the
// entry must wait for it, noted among its parent's children.
bool TidyWriter::placeWithParent(Waiting &child)
{
    const std::string_view parentKey = crossrefOf(child.entry);
    if (parentKey.empty()) {
        return true;
    }
    const std::string key = foldedKey(parentKey);
    const auto place = firstWithKey.find(key);
    if (place == firstWithKey.end()) {
        childrenOfUnseen[key].push_back(child.ordinal);
        return false;
    }
    // An entry that names itself has no parent, which its record reports.
    if (place->second.ordinal == child.ordinal) {
        return true;
    }
    // Only an entry that waits for its own parent is still at hand, and it
    // is still as it was read.
    if (const Waiting *parent = waitingAt(place->second.ordinal); parent && !parent->record) {
        child.entry = withInherited(child.entry, parent->entry);
        child.parentFound = true;
        return true;
    }
    childrenOfLetGo[key].push_back(child.ordinal);
    return false;
}

void TidyWriter::adopt(ChildrenOf &children, const std::string &parentKey, const Entry &parent)
{
    const auto found = children.find(parentKey);
    if (found == children.end()) {
        return;
    }
    for (const std::size_t ordinal : found->second) {
        Waiting &child = *waitingAt(ordinal);
        child.entry = withInherited(child.entry, parent);
        child.parentFound = true;
        if (child.keyIsFree) {
            child.record = recordFor(child.entry, true, true);
            child.entry = Entry{};
        }
    }
    children.erase(found);
}

TidyWriter::Waiting *TidyWriter::waitingAt(std::size_t ordinal)
{
    const auto found = std::lower_bound(waiting.begin(), waiting.end(), ordinal,
        [](const Waiting &waiting, std::size_t wanted) { return waiting.ordinal < wanted; });
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

void TidyWriter::writeReady()
{
    while (!waiting.empty() && waiting.front().record) {
        sink(*waiting.front().record);
        spool.replay(waiting.front().spooledBehind, sink);
        waiting.pop_front();
    }
}

// `entry` has taken what its parent gives, if parentFound.
std::string TidyWriter::recordFor(const Entry &entry, bool keyIsFree, bool parentFound)
{
    const std::string name = displayName(inputPath);
    if (const std::string_view parentKey = crossrefOf(entry); !parentKey.empty() && !parentFound) {
        report.messages.push_back(name + ": entry '" + entry.key + "' near line " + std::to_string(entry.line)
            + " names crossref '" + std::string(parentKey) + "', which is not in the file");
    }
    std::string tag = entry.key;
    if (!keyIsFree) {
        tag = freshTag(entry);
        report.messages.push_back(name + ": entry near line " + std::to_string(entry.line)
            + (entry.key.empty() ? " has no key" : " repeats the key '" + entry.key + "'") + "; tagged "
            + tag);
    }
    return tidyRecord(entry, tag, sourceGuid(inputPath, tag));
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
