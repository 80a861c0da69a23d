#include "tidy_document.h"

#include "crossref_inheritance.h"
#include "field_table.h"
#include "text.h"
#include "tidy_guid.h"
#include "tidy_names.h"
#include "tidy_record.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <strings.h>
#include <tuple>
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

// What the tidy mapping did to an entry, or could not do.
Message changed(int line, std::string text)
{
    return Message{line, line, Message::Kind::Changed, std::move(text)};
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

// Expands the commands `definitions` define in every field of the entry
// but those read verbatim; says what could not be expanded. Field texts are
// decoded first, so that a definition's UTF-8 never lands in a Latin-1 text.
void expandEvery(Entry &entry, const TexDefinitions &definitions,
    const std::function<void(const std::string &problem)> &problem)
{
    const auto expanded = [&](std::string &text) {
        if (text.find('\\') == std::string::npos) {
            return;
        }
        Expansion expansion = expandDefinitions(decodeParserText(text), definitions);
        if (!expansion.problem.empty()) {
            problem(expansion.problem);
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

} // namespace

TidyWriter::TidyWriter(std::string inputPath, TextSink sink, std::string spoolFolder, TagBook *documentTags,
    TexDefinitions definitions)
    : inputPath(std::move(inputPath))
    , sink(std::move(sink))
    , spool(std::move(spoolFolder))
    , tags(documentTags ? *documentTags : ownTags)
    , definitions(definitions)
    , definitionsAgain(std::move(definitions))
{
}

void TidyWriter::readPreamble(const Entry &preamble)
{
    for (const Field &field : preamble.fields) {
        for (const std::string &problem : definitions.read(decodeParserText(field.text))) {
            tell(Said::WhileReading, entriesSeen,
                changed(
                    preamble.line, "@preamble near line " + std::to_string(preamble.line) + ": " + problem));
        }
    }
}

void TidyWriter::expandDefinitions(Entry &entry)
{
    expandEvery(entry, definitions, [&](const std::string &problem) {
        if (expansionProblems.insert(problem).second) {
            tell(Said::WhileReading, entriesSeen,
                changed(entry.line,
                    "entry '" + entry.key + "' near line " + std::to_string(entry.line) + ": " + problem
                        + "; its text is kept as written"));
        }
    });
}

void TidyWriter::add(Entry &&entry)
{
    ++entriesSeen;
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
    const std::string key = foldedKey(entry.key);
    Waiting current;
    current.entry = std::move(entry);
    current.ordinal = entriesSeen;
    const bool first
        = !key.empty() && firstWithKey.emplace(key, KeyPlace{current.ordinal, current.entry.line}).second;
    current.keyIsFree = first && tags.claimKey(writtenTag(current.entry.key));
    if (first) {
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

// A parent read again must be what it was the first time, commands
// expanded: the preambles before it are read again too, into definitions of
// their own, and what they say is not said again.
void TidyWriter::addAgain(const Entry &entry)
{
    if (isPreamble(entry)) {
        for (const Field &field : entry.fields) {
            definitionsAgain.read(decodeParserText(field.text));
        }
        return;
    }
    const auto found = wanted.find(foldedKey(entry.key));
    if (found == wanted.end() || found->second != entry.line || !writesRecord(entry)) {
        return;
    }
    Entry parent = entry;
    expandEvery(parent, definitionsAgain, [](const std::string &) {});
    kept.emplace(found->first, std::move(parent));
    wanted.erase(found);
}

TidyReport TidyWriter::finish()
{
    if (wantsEntriesAgain()) {
        report.error = inputName(inputPath) + " changed while it was being read; convert it again";
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
    reportKeptCommands();
    // However late a parent came, the messages come in the order they would
    // if every entry were kept to the end.
    std::stable_sort(told.begin(), told.end(), [](const Told &a, const Told &b) {
        return std::tie(a.said, a.ordinal) < std::tie(b.said, b.ordinal);
    });
    for (Told &said : told) {
        report.messages.push_back(std::move(said.message));
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
        } else if (const auto place = firstWithKey.find(foldedKey(first.entry.key));
                   place != firstWithKey.end() && place->second.ordinal == first.ordinal) {
            kept.emplace(place->first, std::move(first.entry));
        }
    }
}

EntryLookup TidyWriter::lookup() const
{
    return [this](std::string_view key) { return keptEntry(foldedKey(key)); };
}

void TidyWriter::tell(Said said, std::size_t ordinal, Message message)
{
    told.push_back(Told{said, ordinal, std::move(message)});
}

std::string TidyWriter::recordFor(const Waiting &item)
{
    const Entry &entry = item.entry;
    const Said said = item.keyIsFree && item.chainKnown ? Said::WhileReading : Said::ForAWaitingRecord;
    const std::string about = "entry '" + entry.key + "' near line " + std::to_string(entry.line) + " ";
    Resolved resolved;
    const Entry *complete = &entry;
    if (!crossrefOf(entry).empty()) {
        resolved = resolveCrossrefs(entry, lookup());
        complete = &resolved.entry;
        if (!resolved.problem.empty()) {
            tell(said, item.ordinal, changed(entry.line, about + resolved.problem));
        }
    }
    std::string tag = writtenTag(entry.key);
    if (!item.keyIsFree) {
        const std::string key = tag;
        tag = freshTag(*complete);
        tell(said, item.ordinal,
            changed(entry.line,
                "entry near line " + std::to_string(entry.line)
                    + (key.empty() ? " has no key" : " repeats the key '" + key + "'") + "; tagged " + tag));
    }
    const bool accounting = fieldRows || tellLeftOut;
    TidyRecord record = tidyRecord(*complete, tag, sourceGuid(inputPath, tag), accounting);
    for (const std::string &problem : record.problems) {
        tell(said, item.ordinal, changed(entry.line, about + problem));
    }
    if (accounting) {
        account(item, tag, resolved.problem, std::move(record.uses));
    }
    tally(record.text);
    return std::move(record.text);
}

void TidyWriter::reportFields(std::function<void(const FieldReportRow &)> rows, bool tellFieldsLeftOut)
{
    fieldRows = std::move(rows);
    tellLeftOut = tellFieldsLeftOut;
}

// Fields past the entry's own came from its crossref parents.
void TidyWriter::account(
    const Waiting &item, std::string_view tag, std::string_view crossrefProblem, std::vector<FieldUse> &&uses)
{
    const Entry &entry = item.entry;
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
        const Said said = item.keyIsFree && item.chainKnown ? Said::WhileReading : Said::ForAWaitingRecord;
        tell(said, item.ordinal,
            changed(entry.line,
                "entry '" + entry.key + "' near line " + std::to_string(entry.line)
                    + ": not written: " + leftOut));
    }
}

// Commands defined by then that are still in the text failed to expand,
// which was said where it happened: --macros would not help them.
void TidyWriter::tally(const std::string &record)
{
    bool keepsUndefined = false;
    for (const std::string_view command : commandsLeftIn(record)) {
        if (!definitions.find(command.substr(1))) {
            ++keptCommands[std::string(command)];
            keepsUndefined = true;
        }
    }
    recordsKeepingCommands += keepsUndefined ? 1 : 0;
    ++report.recordsWritten;
}

void TidyWriter::reportKeptCommands()
{
    if (keptCommands.empty()) {
        return;
    }
    std::vector<std::pair<std::string, int>> byCount(keptCommands.begin(), keptCommands.end());
    std::ranges::stable_sort(byCount, std::greater<>(), &std::pair<std::string, int>::second);
    std::string message = std::to_string(recordsKeepingCommands)
        + (recordsKeepingCommands == 1 ? " record keeps" : " records keep")
        + " commands it does not define: ";
    for (size_t i = 0; i < byCount.size() && i < keptCommandsNamed; ++i) {
        message += (i ? ", " : "") + byCount[i].first + " \u00D7" + std::to_string(byCount[i].second);
    }
    message += byCount.size() > keptCommandsNamed ? ", \u2026" : "";
    report.keptCommands = message + "; define them with --macros FILE";
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
        tag = base + tagSuffix(suffix++);
    }
    return tag;
}

} // namespace bibsources
