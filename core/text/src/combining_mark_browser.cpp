#include "combining_mark.h"

#include <algorithm>
#include <array>

// In unicode_browser.js: puts `mark` on the letter or digit that starts
// the `length` bytes at `text` (with the marks already on it): decomposed,
// a dotless i or j made dotted under a mark that goes above (canonical
// combining class 230), composed again (NFC). Writes the cluster's new
// UTF-8 to `out` and returns its length, and in *replaced how many bytes of
// `text` it takes the place of; returns -1 when the text does not start
// with a letter or digit, is not valid UTF-8 there, or the cluster is longer
// than utf8proc's build takes (outCapacity - 4 bytes, 16 code points).
extern "C" int bibsources_mark_cluster(
    const char *text, int length, int mark, char *out, int outCapacity, int *replaced);

namespace bibsources {

namespace {

// A letter rarely carries more than two marks; one with more than this is
// left alone, as utf8proc's build leaves it.
constexpr int maxCluster = 16;
constexpr int maxClusterBytes = maxCluster * 4;

} // namespace

bool addCombiningMark(std::string &text, size_t from, char32_t mark)
{
    if (from >= text.size()) {
        return false;
    }
    // Enough of the text for the longest cluster taken, and a character cut
    // at its end never counts as a mark.
    const size_t window = std::min(text.size() - from, size_t(maxClusterBytes + 4));
    std::array<char, maxClusterBytes> out{};
    int replaced = 0;
    const int length = bibsources_mark_cluster(
        text.data() + from, int(window), int(mark), out.data(), int(out.size()), &replaced);
    if (length < 0) {
        return false;
    }
    text.replace(from, size_t(replaced), out.data(), size_t(length));
    return true;
}

} // namespace bibsources
