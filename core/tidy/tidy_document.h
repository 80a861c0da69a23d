#pragma once

#include "bibsources/conversion.h"
#include "crossref_inheritance.h"
#include "entry.h"
#include "field_account.h"
#include "tag_book.h"
#include "tex_definitions.h"
#include "xml.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

namespace bibsources {

struct TidyReport {
    int recordsWritten = 0;
    std::vector<std::string> messages; // one line per generated tag or missing crossref
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
// Those two cases need the whole file, so such a record, and every record
// after it, waits for finish(); the others are written at once, while the
// parser reads on.
// False only when the file at inputPath cannot hold a crossref field: the
// word appears nowhere in it, in any case. Standard input, a file that
// cannot be read and one in UTF-16 or UTF-32 may.
bool mayHaveCrossrefs(const std::string &inputPath);

class TidyWriter {
public:
    // `inputPath` is the input's path as given ("-" for standard input).
    // Without crossrefsPossible an entry is forgotten once its record is
    // written, so memory stays flat however long the file.
    // documentTags: the tags of the whole document, when it has other inputs;
    // none: this input's own. `definitions` are the commands defined for
    // every input.
    TidyWriter(std::string inputPath, TextSink sink, bool crossrefsPossible = true,
        TagBook *documentTags = nullptr, TexDefinitions definitions = {});

    // From now on: every field of every record to `rows` as the record is
    // made (inherited fields noted as such), and with tellLeftOut a message
    // per entry naming the fields whose text went nowhere.
    void reportFields(std::function<void(const FieldReportRow &)> rows, bool tellLeftOut);

    void add(Entry &&entry);
    // Writes every record still waiting. Call once, after the last add().
    TidyReport finish();

private:
    using Waiting = std::variant<std::string, size_t>; // a record, or the entry it waits for
    void readPreamble(const Entry &preamble);
    void expandDefinitions(Entry &entry);
    void write(Waiting &&record);
    void send(const std::string &record);
    void reportKeptCommands();
    std::string recordFor(const Entry &entry, bool keyIsFree);
    std::string freshTag(const Entry &entry);
    EntryLookup lookup() const;
    void account(const Entry &entry, std::string_view tag, std::string_view crossrefProblem,
        std::vector<FieldUse> &&uses);

    std::string inputPath;
    TextSink sink;
    bool keepParents;
    std::deque<Entry> entries; // every entry that writes a record: any may be a parent
    std::unordered_map<std::string, size_t> firstWithKey;
    TagBook ownTags;
    TagBook &tags;
    std::unordered_set<size_t> keyOfAnotherInput; // entries whose key an earlier input has
    std::vector<Waiting> waiting;
    TexDefinitions definitions;
    std::unordered_set<std::string> expansionProblems; // each said once
    std::map<std::string, int, std::less<>> keptCommands; // name: how many times records hold it
    int recordsKeepingCommands = 0;
    TidyReport report;
    std::function<void(const FieldReportRow &)> fieldRows;
    bool tellLeftOut = false;
};

} // namespace bibsources
