#include "tidy_document.h"

#include "crossref_inheritance.h"
#include "field_table.h"
#include "text.h"
#include "tidy_guid.h"
#include "tidy_names.h"
#include "tidy_record.h"

#include "tex_text.h"
#include "text.h"

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

bool isPreamble(const Entry &entry)
{
    return ::strcasecmp(entry.type.c_str(), "preamble") == 0;
}

// Fields TeX reads verbatim, where a backslash is no command.
bool isVerbatimField(std::string_view name)
{
    return name == "url" || name == "doi" || name == "crossref";
}

// The commands most often kept first; the message names no more than this.
constexpr size_t keptCommandsNamed = 10;

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

TidyWriter::TidyWriter(std::string inputPath, TextSink sink, bool crossrefsPossible, TagBook *documentTags,
    TexDefinitions definitions)
    : inputPath(std::move(inputPath))
    , sink(std::move(sink))
    , keepParents(crossrefsPossible)
    , tags(documentTags ? *documentTags : ownTags)
    , definitions(std::move(definitions))
{
}

void TidyWriter::readPreamble(const Entry &preamble)
{
    for (const Field &field : preamble.fields) {
        for (const std::string &problem : definitions.read(decodeParserText(field.text))) {
            report.messages.push_back(displayName(inputPath) + ": @preamble near line "
                + std::to_string(preamble.line) + ": " + problem);
        }
    }
}

// Field texts are decoded first, so that a definition's UTF-8 never lands
// in a Latin-1 text.
void TidyWriter::expandDefinitions(Entry &entry)
{
    const auto expanded = [&](std::string &text) {
        if (text.find('\\') == std::string::npos) {
            return;
        }
        Expansion expansion = bibsources::expandDefinitions(decodeParserText(text), definitions);
        if (!expansion.problem.empty() && expansionProblems.insert(expansion.problem).second) {
            report.messages.push_back(displayName(inputPath) + ": entry '" + entry.key + "' near line "
                + std::to_string(entry.line) + ": " + expansion.problem + "; its text is kept as written");
        }
        text = std::move(expansion.text);
    };
    for (Field &field : entry.fields) {
        if (isVerbatimField(field.name)) {
            continue;
        }
        expanded(field.text);
        if (!field.names) {
            continue;
        }
        for (Person &person : *field.names) {
            for (auto *part : {&person.first, &person.von, &person.last, &person.jr}) {
                std::ranges::for_each(*part, expanded);
            }
        }
    }
}

void TidyWriter::add(Entry &&entry)
{
    if (isPreamble(entry)) {
        readPreamble(entry);
        return;
    }
    if (!writesRecord(entry)) {
        return;
    }
    if (!definitions.empty()) {
        expandDefinitions(entry);
    }
    bool keyIsFree = !entry.key.empty() && firstWithKey.emplace(foldedKey(entry.key), entries.size()).second;
    if (keyIsFree && !tags.claimKey(writtenTag(entry.key))) {
        keyIsFree = false;
        keyOfAnotherInput.insert(entries.size());
    }
    entries.push_back(std::move(entry));
    const bool parentsSeen
        = crossrefOf(entries.back()).empty() || crossrefChainKnown(entries.back(), lookup());
    if (keyIsFree && parentsSeen) {
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
        send(std::get<std::string>(record));
        return;
    }
    waiting.push_back(std::move(record));
}

void TidyWriter::send(const std::string &record)
{
    const std::vector<std::string_view> kept = commandsLeftIn(record);
    for (const std::string_view command : kept) {
        ++keptCommands[std::string(command)];
    }
    recordsKeepingCommands += kept.empty() ? 0 : 1;
    sink(record);
    ++report.recordsWritten;
}

void TidyWriter::reportKeptCommands()
{
    if (keptCommands.empty()) {
        return;
    }
    std::vector<std::pair<std::string, int>> byCount(keptCommands.begin(), keptCommands.end());
    std::ranges::stable_sort(byCount, std::greater<>(), &std::pair<std::string, int>::second);
    std::string message = displayName(inputPath) + ": " + std::to_string(recordsKeepingCommands)
        + (recordsKeepingCommands == 1 ? " record keeps" : " records keep")
        + " commands it does not define: ";
    for (size_t i = 0; i < byCount.size() && i < keptCommandsNamed; ++i) {
        message += (i ? ", " : "") + byCount[i].first + " \u00D7" + std::to_string(byCount[i].second);
    }
    message += byCount.size() > keptCommandsNamed ? ", \u2026" : "";
    report.messages.push_back(message + "; define them with --macros FILE");
}

TidyReport TidyWriter::finish()
{
    for (Waiting &record : waiting) {
        if (const size_t *index = std::get_if<size_t>(&record)) {
            const Entry &entry = entries[*index];
            const auto first = firstWithKey.find(foldedKey(entry.key));
            const bool keyIsFree = !entry.key.empty() && first != firstWithKey.end()
                && first->second == *index && !keyOfAnotherInput.contains(*index);
            send(recordFor(entry, keyIsFree));
        } else {
            send(std::get<std::string>(record));
        }
    }
    waiting.clear();
    reportKeptCommands();
    return std::move(report);
}

EntryLookup TidyWriter::lookup() const
{
    return [this](std::string_view key) -> const Entry * {
        const auto found = firstWithKey.find(foldedKey(key));
        return found == firstWithKey.end() || found->second >= entries.size() ? nullptr
                                                                              : &entries[found->second];
    };
}

std::string TidyWriter::recordFor(const Entry &entry, bool keyIsFree)
{
    const std::string name = displayName(inputPath);
    const std::string about
        = name + ": entry '" + entry.key + "' near line " + std::to_string(entry.line) + " ";
    Resolved resolved;
    const Entry *complete = &entry;
    if (!crossrefOf(entry).empty()) {
        resolved = resolveCrossrefs(entry, lookup());
        complete = &resolved.entry;
        if (!resolved.problem.empty()) {
            report.messages.push_back(about + resolved.problem);
        }
    }
    std::string tag = writtenTag(entry.key);
    if (!keyIsFree) {
        const std::string key = tag;
        tag = freshTag(*complete);
        report.messages.push_back(name + ": entry near line " + std::to_string(entry.line)
            + (key.empty() ? " has no key" : " repeats the key '" + key + "'") + "; tagged " + tag);
    }
    TidyRecord record = tidyRecord(*complete, tag, sourceGuid(inputPath, tag), fieldRows || tellLeftOut);
    for (const std::string &problem : record.problems) {
        report.messages.push_back(about + problem);
    }
    if (fieldRows || tellLeftOut) {
        account(entry, tag, resolved.problem, std::move(record.uses));
    }
    return std::move(record.text);
}

void TidyWriter::reportFields(std::function<void(const FieldReportRow &)> rows, bool tellFieldsLeftOut)
{
    fieldRows = std::move(rows);
    tellLeftOut = tellFieldsLeftOut;
}

// Fields past the entry's own came from its crossref parents.
void TidyWriter::account(
    const Entry &entry, std::string_view tag, std::string_view crossrefProblem, std::vector<FieldUse> &&uses)
{
    std::string leftOut;
    for (size_t i = 0; i < uses.size(); ++i) {
        FieldUse &use = uses[i];
        if (use.field == "crossref" && use.element.empty() && i < entry.fields.size()) {
            use.note = crossrefProblem.empty() ? "its fields are inherited" : std::string(crossrefProblem);
        } else if (i >= entry.fields.size()) {
            use.note = "from crossref '" + std::string(crossrefOf(entry)) + "'"
                + (use.note.empty() ? "" : "; " + use.note);
        } else if (use.element.empty()) {
            leftOut += (leftOut.empty() ? "" : ", ") + use.field + " (" + use.note + ")";
        }
        if (fieldRows) {
            fieldRows(
                FieldReportRow{inputPath, entry.line, entry.key, tag, use.field, use.element, use.note});
        }
    }
    if (tellLeftOut && !leftOut.empty()) {
        report.messages.push_back(displayName(inputPath) + ": entry '" + entry.key + "' near line "
            + std::to_string(entry.line) + ": not written: " + leftOut);
    }
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
