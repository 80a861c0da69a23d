#include "tidy_document.h"

#include "text.h"
#include "tidy_guid.h"
#include "tidy_names.h"
#include "tidy_record.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <strings.h>
#include <unordered_map>
#include <unordered_set>

namespace bibsources {

namespace {

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

// A key as its record's tag shows it: a Latin-1 file's key and the same key
// in UTF-8 are one tag, and make one Guid.
std::string writtenTag(std::string_view key)
{
    return stripXmlForbidden(decodeParserText(key));
}

} // namespace

bool mayHaveCrossrefs(const std::string &inputPath)
{
    std::ifstream input(inputPath, std::ios::binary);
    if (inputPath == "-" || !input) {
        return true;
    }
    // Read in chunks, each searched together with the tail of the one before,
    // so a word cut by a chunk's end is still found.
    constexpr std::string_view word = "crossref";
    std::string window;
    std::vector<char> chunk(1 << 20);
    bool first = true;
    while (input.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || input.gcount() > 0) {
        window.append(chunk.data(), static_cast<size_t>(input.gcount()));
        // A file in UTF-16 or UTF-32 spells the word in other bytes.
        if (first
            && (window.starts_with("\xFF\xFE") || window.starts_with("\xFE\xFF")
                || window.starts_with(std::string_view("\0\0\xFE\xFF", 4)))) {
            return true;
        }
        first = false;
        std::transform(window.begin(), window.end(), window.begin(),
            [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
        if (window.find(word) != std::string::npos) {
            return true;
        }
        window.erase(0, window.size() - std::min(window.size(), word.size() - 1));
    }
    return false;
}

TidyWriter::TidyWriter(std::string inputPath, TextSink sink, bool crossrefsPossible, TagBook *documentTags)
    : inputPath(std::move(inputPath))
    , sink(std::move(sink))
    , keepParents(crossrefsPossible)
    , tags(documentTags ? *documentTags : ownTags)
{
}

void TidyWriter::add(Entry &&entry)
{
    if (!writesRecord(entry)) {
        return;
    }
    bool keyIsFree = !entry.key.empty() && firstWithKey.emplace(foldedKey(entry.key), entries.size()).second;
    if (keyIsFree && !tags.claimKey(writtenTag(entry.key))) {
        keyIsFree = false;
        keyOfAnotherInput.insert(entries.size());
    }
    const std::string_view parent = crossrefOf(entry);
    const bool parentSeen = parent.empty() || firstWithKey.count(foldedKey(parent));
    entries.push_back(std::move(entry));
    if (keyIsFree && parentSeen) {
        write(recordFor(entries.back(), true));
        if (!keepParents) {
            // No later entry can name it: only its key (above) is still needed.
            entries.back() = Entry{};
        }
    } else {
        write(entries.size() - 1);
    }
}

void TidyWriter::write(Waiting &&record)
{
    if (waiting.empty() && std::holds_alternative<std::string>(record)) {
        sink(std::get<std::string>(record));
        ++report.recordsWritten;
        return;
    }
    waiting.push_back(std::move(record));
}

TidyReport TidyWriter::finish()
{
    for (Waiting &record : waiting) {
        if (const size_t *index = std::get_if<size_t>(&record)) {
            const Entry &entry = entries[*index];
            const auto first = firstWithKey.find(foldedKey(entry.key));
            const bool keyIsFree = !entry.key.empty() && first != firstWithKey.end()
                && first->second == *index && !keyOfAnotherInput.contains(*index);
            sink(recordFor(entry, keyIsFree));
        } else {
            sink(std::get<std::string>(record));
        }
        ++report.recordsWritten;
    }
    waiting.clear();
    return std::move(report);
}

std::string TidyWriter::recordFor(const Entry &entry, bool keyIsFree)
{
    const std::string name = displayName(inputPath);
    Entry merged;
    const Entry *resolved = &entry;
    if (const std::string_view parentKey = crossrefOf(entry); !parentKey.empty()) {
        const auto parent = firstWithKey.find(foldedKey(parentKey));
        if (parent != firstWithKey.end() && &entries[parent->second] != &entry) {
            merged = withInherited(entry, entries[parent->second]);
            resolved = &merged;
        } else {
            report.messages.push_back(name + ": entry '" + entry.key + "' near line "
                + std::to_string(entry.line) + " names crossref '" + std::string(parentKey)
                + "', which is not in the file");
        }
    }
    std::string tag = writtenTag(entry.key);
    if (!keyIsFree) {
        const std::string key = tag;
        tag = freshTag(*resolved);
        report.messages.push_back(name + ": entry near line " + std::to_string(entry.line)
            + (key.empty() ? " has no key" : " repeats the key '" + key + "'") + "; tagged " + tag);
    }
    return tidyRecord(*resolved, tag, sourceGuid(inputPath, tag));
}

std::string TidyWriter::freshTag(const Entry &entry)
{
    // Each base remembers how far its suffixes have got, so a file of many
    // keyless entries by one author costs no more than one with few.
    const std::string base = writtenTag(tagBase(entry));
    std::string tag = base;
    int &suffix = tags.suffixesTried(base);
    // Every key of the file is known by now: generated tags avoid them all,
    // and every tag of the inputs before it.
    while (firstWithKey.count(foldedKey(tag)) || !tags.claimMadeUp(tag, sourceGuid(inputPath, tag))) {
        tag = base + suffixFor(suffix++);
    }
    return tag;
}

} // namespace bibsources
