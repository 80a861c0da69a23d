#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// The entries of one source list, in its order.
struct BibEntries {
    std::string text; // the entries, each ending in a blank line
    int records = 0;
    // What a person should know, one sentence each: a tag changed to
    // make a key BibTeX accepts, or to keep keys unique.
    std::vector<std::string> messages;
    std::string error; // empty when the list could be read; else why not, as a clause

    bool ok() const { return error.empty(); }
};

// Writes the records of source lists as BibTeX entries whose keys stay
// unique across every list given to one writer: a key already used, letter
// case aside, gets "-2", "-3", ... appended.
class BibWriter {
public:
    // listText: a whole source list (the XML text, UTF-8).
    BibEntries entries(std::string_view listText);

private:
    std::string uniqueKey(const std::string &tag, std::vector<std::string> &messages);

    // The keys written, by their keyIdentity.
    std::map<std::string, std::string> keys;
};

} // namespace bibsources
