#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// The source tags one field instruction names: for " CITATION Kno84 \p 12
// \l 1033 \m Lam94 " the first argument and the argument of every \m
// switch, in order. Arguments may be quoted ("my key"); inside quotes a
// backslash escapes the next character. Empty for any other field. The field
// name is matched without regard to case, as word processors do.
std::vector<std::string> tagsOfInstruction(std::string_view instruction);

struct CitedTags {
    std::vector<std::string> tags; // each tag once, in the order first cited
    std::string error; // empty when the part was read; else why not

    bool ok() const { return error.empty(); }
};

// The tags named by the citation fields of a WordprocessingML part (the main
// document, footnotes, endnotes): complex fields, whose instruction may be
// split over several w:instrText runs and may hold nested fields, and simple
// fields (w:fldSimple). The part is read as a stream, never held as a tree.
CitedTags citedTags(std::string_view partText);

// The tags of cited missing from listTags, in cited's order. Tags compare
// byte for byte.
std::vector<std::string> tagsMissingFrom(
    const std::vector<std::string> &cited, const std::vector<std::string> &listTags);

} // namespace bibsources
