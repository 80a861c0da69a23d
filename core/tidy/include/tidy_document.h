#pragma once

// What other rooms may include of the tidy mapping: the writer of an input's
// tidy records, and the LaTeX definition files read before the first input.

#include "../src/crossref_inheritance.h"
#include "../src/definition_files.h"
#include "../src/field_account.h"
#include "../src/record_spool.h"
#include "bibsources/conversion.h"
#include "entry.h"
#include "tag_book.h"
#include "text.h"
#include "xml.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace bibsources {

struct TidyReport {
    int recordsWritten = 0;
    std::vector<Message> messages; // one per generated tag, crossref not followed or field problem
    // Which commands the records kept as written and how often, with what to
    // do about them; empty when they kept none. Apart from the messages, as a
    // program showing only the first few of those must still show this.
    std::string keptCommands;
    std::string error; // empty unless records were lost: the input's records are then incomplete
};

// Hands a sink the tidy record of every entry of one input, in input order,
// as the entries arrive wherever it can.
//
// Macro definitions and preambles write no record. The commands a preamble
// defines are expanded in the entries after it, as are those defined before
// the first input (--macros); a definition that cannot be read or expanded
// adds a message. finish() adds one message naming the commands the records
// still hold and how often. A child entry takes every
// field it lacks from the entry its crossref names (the first with that key,
// before or after the child), as crossref_inheritance.h tells. An
// entry without a key, or with one an earlier entry already has (in any
// case), is tagged with its first contributor's last name and its year,
// followed by "a", "b", ... when that tag is taken by any entry of the file
// or by the document (TagBook); so is an entry whose key an earlier input of
// the document has. Each such entry adds a message. Every b:Guid is made from
// the input's file name and the tag as written (UTF-8, whatever the input's
// encoding), so no two records of a document share one.
//
// An entry is let go once its record is made, unless an entry that waits
// may need it. A child whose parent (or a parent's parent) is still to come
// waits for it, and its record is made when the last of them arrives. A
// child whose parent came earlier and was let go waits for a second read of
// the input (wantsEntriesAgain, addAgain). An entry that needs a tag waits
// for finish(), when every key of the file is known. Records made while an
// earlier one waits are kept in an unnamed file in the spool folder, not in
// memory, until they can follow it. Messages come in the order they would
// if every entry were kept to the end: those said while reading, in input
// order, then those of the records that waited, then the summary.
class TidyWriter {
public:
    // `inputPath` is the input's path as given ("-" for standard input).
    // spoolFolder: where waiting records are kept (empty: /tmp).
    // documentTags: the tags of the whole document, when it has other inputs;
    // none: this input's own. `definitions` are the commands defined for
    // every input.
    TidyWriter(std::string inputPath, TextSink sink, std::string spoolFolder = {},
        TagBook *documentTags = nullptr, TexDefinitions definitions = {});

    // From now on: every field of every record to `rows` as the record is
    // made (inherited fields noted as such), and with tellLeftOut a message
    // per entry naming the fields whose text went nowhere.
    void reportFields(std::function<void(const FieldReportRow &)> rows, bool tellLeftOut);

    void add(Entry &&entry);

    // After the last add(): whether an entry waits for a parent that came
    // before it and was let go, so that the input must be read again and its
    // entries handed to addAgain(), until this turns false or the read ends.
    bool wantsEntriesAgain();
    void addAgain(const Entry &entry);

    // Writes every record still waiting. Call once, after the last add() or
    // addAgain(). A parent that the second read did not find where it was
    // means the file changed under the conversion: an error.
    TidyReport finish();

private:
    struct KeyPlace {
        std::size_t ordinal; // the entry's place in the input
        int line;
    };
    // An entry whose record is not made yet, and then that record until the
    // records before it are written.
    struct Waiting {
        Entry entry; // as it was read
        std::size_t ordinal = 0;
        bool keyIsFree = false;
        bool chainKnown = false; // every key on its crossref chain had come when it did
        std::optional<std::string> record;
        std::uint64_t spooledBehind = 0; // bytes of the records made behind it
    };
    // Where an entry's crossref chain stands.
    struct Chain {
        std::string unseen; // the first key on it still to come (folded), if any
        std::vector<std::string> letGo; // keys before that whose entries were let go
    };
    enum class Said { WhileReading, ForAWaitingRecord, AtTheEnd };
    struct Told {
        Said said;
        std::size_t ordinal; // of the entry it is about
        Message message;
    };

    void readPreamble(const Entry &preamble);
    void expandDefinitions(Entry &entry);
    void welcome(const std::string &key, const Entry &entry);
    Chain chainOf(const Entry &entry) const;
    const Entry *keptEntry(const std::string &key) const;
    Waiting *waitingAt(std::size_t ordinal);
    void write(std::string &&record);
    void writeReady();
    void tell(Said said, std::size_t ordinal, Message message);
    void tally(const std::string &record);
    void reportKeptCommands();
    std::string recordFor(const Waiting &item);
    void account(const Waiting &item, std::string_view tag, std::string_view crossrefProblem,
        std::vector<FieldUse> &&uses);
    std::string freshTag(const Entry &entry);
    EntryLookup lookup() const;

    std::string inputPath;
    TextSink sink;
    RecordSpool spool;
    std::size_t entriesSeen = 0;
    std::unordered_map<std::string, KeyPlace> firstWithKey; // by folded key
    std::unordered_map<std::string, std::string> crossrefOfKey; // what those entries name, where they do
    TagBook ownTags;
    TagBook &tags;
    std::deque<Waiting> waiting; // in input order
    std::unordered_map<std::string, std::vector<std::size_t>> childrenOf; // key to come -> ordinals
    std::unordered_map<std::string, Entry> kept; // parents entries that wait may need, by folded key
    std::unordered_map<std::string, int> wanted; // parents for a second read: folded key -> line
    bool wantedKnown = false;
    TexDefinitions definitions;
    TexDefinitions definitionsAgain; // as the second read finds them
    std::unordered_set<std::string> expansionProblems; // each said once
    std::map<std::string, int, std::less<>> keptCommands; // name: how many times records hold it
    int recordsKeepingCommands = 0;
    std::vector<Told> told;
    TidyReport report;
    std::function<void(const FieldReportRow &)> fieldRows;
    bool tellLeftOut = false;
};

} // namespace bibsources
