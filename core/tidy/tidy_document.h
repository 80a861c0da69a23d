#pragma once

#include "entry.h"
#include "record_spool.h"
#include "xml.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace bibsources {

struct TidyReport {
    int recordsWritten = 0;
    std::vector<std::string> messages; // one line per generated tag or missing crossref
    std::string error; // empty unless records were lost: the input's records are then incomplete
};

// Hands a sink the tidy record of every entry of one input, in input order,
// as the entries arrive wherever it can, keeping only the entries whose
// records cannot be made yet.
//
// Macro definitions and preambles write no record. A child entry takes every
// field it lacks from the entry its crossref names (the first with that key,
// before or after the child), and the parent's title as its booktitle. An
// entry without a key, or with one an earlier entry already has (in any
// case), is tagged with its first contributor's last name and its year,
// followed by "a", "b", ... when that tag is taken by any entry of the file;
// each such entry adds a message. Every b:Guid is made from the input's file
// name and the tag, so no two records of one input share one.
//
// An entry is let go once its record is made. A child whose parent is still
// to come waits for it, and its record is made when the parent arrives. A
// child whose parent came earlier and was let go waits for a second read of
// the input (wantsEntriesAgain, addAgain). An entry that needs a tag waits for
// finish(), when every key of the file is known. Records made while an
// earlier one waits are kept in an unnamed file in the spool folder, not in
// memory, until they can follow it.
class TidyWriter {
public:
    // `inputPath` is the input's path as given ("-" for standard input);
    // spoolFolder: where waiting records are kept (empty: /tmp).
    TidyWriter(std::string inputPath, TextSink sink, std::string spoolFolder = {});

    void add(Entry &&entry);

    // After the last add(): whether a child names a parent that was let go,
    // so that the input must be read again and its entries handed to
    // addAgain(), until this turns false or the read ends.
    bool wantsEntriesAgain() const { return !childrenOfLetGo.empty(); }
    void addAgain(const Entry &entry);

    // Writes every record still waiting. Call once, after the last add() or
    // addAgain().
    TidyReport finish();

private:
    struct KeyPlace {
        std::size_t ordinal; // among the entries that write records
        int line;
    };
    // An entry whose record is not made yet, and then that record until the
    // records before it are written.
    struct Waiting {
        Entry entry; // merged with its parent once that is known
        std::size_t ordinal = 0;
        bool keyIsFree = false;
        bool parentFound = false;
        std::optional<std::string> record;
        std::uint64_t spooledBehind = 0; // bytes of the records made behind it
    };
    using ChildrenOf = std::unordered_map<std::string, std::vector<std::size_t>>; // parent key -> ordinals

    bool placeWithParent(Waiting &waiting);
    void adopt(ChildrenOf &children, const std::string &parentKey, const Entry &parent);
    Waiting *waitingAt(std::size_t ordinal);
    void write(std::string &&record);
    void writeReady();
    std::string recordFor(const Entry &entry, bool keyIsFree, bool parentFound);
    std::string freshTag(const Entry &entry);

    std::string inputPath;
    TextSink sink;
    RecordSpool spool;
    std::size_t entriesSeen = 0;
    std::unordered_map<std::string, KeyPlace> firstWithKey;
    std::unordered_set<std::string> generatedTags;
    std::unordered_map<std::string, int> suffixesTried;
    std::deque<Waiting> waiting; // in input order
    ChildrenOf childrenOfUnseen; // children waiting for a parent still to come
    ChildrenOf childrenOfLetGo; // children waiting for a second read
    TidyReport report;
};

} // namespace bibsources
