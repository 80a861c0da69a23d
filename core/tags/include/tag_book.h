#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace bibsources {

// The tags of one document, across all of its inputs, so that no two of its
// records share a tag, and so no two share a Guid. Tags are compared without
// regard to case, as BibTeX compares keys.
//
// When the document is merged into a source list, the book also knows the
// list's tags: a made-up tag is not given to a record while the list holds it
// for another source (another Guid), so that a merge never replaces one
// source with another. An entry's own key may match a tag of the list: that
// is the same source converted again.
class TagBook {
public:
    // A tag the list being merged into holds, with the Guid of its record.
    void holdListed(const std::string &tag, const std::string &guid);

    // Takes an entry's key (as written) as its tag; false when an entry of an
    // earlier input, or a made-up tag, has it already.
    bool claimKey(std::string_view tag);

    // Takes a made-up tag for a record whose Guid it would make: false when
    // the document has it already, or the list holds it for another source.
    bool claimMadeUp(std::string_view tag, std::string_view guid);

    // Whether tag was made up by claimMadeUp.
    bool isMadeUp(const std::string &tag) const { return madeUp.contains(tag); }

    // How far the suffixes after a made-up tag's base have got.
    int &suffixesTried(const std::string &base) { return suffixes[base]; }

private:
    std::unordered_set<std::string> taken; // folded
    std::unordered_set<std::string> madeUp; // as written
    std::unordered_multimap<std::string, std::string> listed; // folded tag -> Guid
    std::unordered_map<std::string, int> suffixes;
};

// The suffix a taken tag is given on the index-th try: a ... z, then aa,
// ab, ...; never runs out.
std::string tagSuffix(int index);

// key with ASCII letters in lower case: BibTeX's comparison of keys.
std::string foldedKey(std::string_view key);

} // namespace bibsources
