#pragma once

#include "unique_fd.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// One record of a converted document.
struct ConvertedRecord {
    std::uint64_t offset = 0; // where its text starts among the kept records
    size_t size = 0; // from the '<' of <b:Source> to the '>' of </b:Source>
    std::string tag; // its b:Tag, decoded; empty when it has none
    std::string guid; // its b:Guid as written; empty in the plain mapping
    // The tag was made up for an entry whose key was taken or missing, so
    // only its Guid says which source it stands for.
    bool generatedTag = false;
};

// The records of a document this converter writes, taken from its text as it
// is made: append() is a TextSink. A record is <b:Source>...</b:Source> with
// the b prefix bound to the bibliography namespace and no '<' or '>' in its
// text other than markup, which the converter's escaping guarantees; the
// document's header and footer are passed over.
//
// The records' text waits in an unnamed temporary file, so that merging the
// records of a large input costs little more memory than its list of tags.
class ConvertedRecords {
public:
    // spoolFolder: where the text waits; empty means /tmp. Where no file can
    // be made there, it waits in memory.
    explicit ConvertedRecords(const std::string &spoolFolder = {});

    void append(std::string_view text);

    // Empty, or the sentence saying why the records could not be kept.
    const std::string &error() const { return failure; }

    const std::vector<ConvertedRecord> &records() const { return list; }
    std::vector<ConvertedRecord> &records() { return list; }

    // The text of one record, as the converter wrote it; empty when it could
    // not be read back.
    std::string textOf(const ConvertedRecord &record) const;

private:
    void takeRecords();
    void keep(std::string_view recordText);

    UniqueFd spool;
    std::string memory; // the text, where there is no spool
    std::uint64_t kept = 0;
    std::string pending; // text not yet known to be part of a whole record
    bool inRecord = false;
    std::vector<ConvertedRecord> list;
    std::string failure;
};

// text with XML's five entities and character references decoded.
std::string decodedXmlText(std::string_view text);

} // namespace bibsources
