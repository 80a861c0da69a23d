#include "combining_mark.h"

#include <emscripten.h>

#include <array>

namespace bibsources {

namespace {

// A letter rarely carries more than two marks; one with more than this is
// left alone, as utf8proc's build leaves it.
constexpr int maxCluster = 16;
constexpr int maxClusterBytes = maxCluster * 4;

// The browser's Unicode tables do what utf8proc does in the native build.
// Puts `mark` on the letter or digit that starts the `length` bytes at
// `text` (with the marks already on it): decomposed, the dotless i or j made
// dotted under a mark that goes above (canonical combining class 230),
// composed again (NFC). Writes the cluster's new UTF-8 to `out` and returns
// its length, and in *replaced how many bytes of `text` it takes the place
// of; returns -1 when the text does not start with a letter or digit, is
// not valid UTF-8 there, or the cluster is too long.
EM_JS(int, bibsources_mark_cluster,
    (const char *text, int length, int mark, char *out, int outCapacity, int *replaced), {
        const bytes = HEAPU8.subarray(text, text + length);
        const head = new TextDecoder("utf-8", {fatal : false}).decode(bytes);
        const cluster = new RegExp("^[\\p{L}\\p{Nd}]\\p{M}*", "u").exec(head);
        if (!cluster) {
            return -1;
        }
        const clusterBytes = new TextEncoder().encode(cluster[0]).length;
        if (clusterBytes > outCapacity - 4) {
            return -1;
        }
        const markText = String.fromCodePoint(mark);
        const decomposed = Array.from((cluster[0] + markText).normalize("NFD"));
        if (decomposed.length > 16) {
            return -1;
        }
        // Canonical ordering moves a mark only past marks of a higher class:
        // one that stays behind U+0301 (230) in either order but moves in
        // front of U+0315 (232) has class 230 itself.
        const nfdMark = markText.normalize("NFD");
        const keeps = (before, after) =
            > (before + after).normalize("NFD") == = before.normalize("NFD") + after.normalize("NFD");
        const goesAbove
            = keeps("a" + nfdMark, "\u0301") && keeps("a\u0301", nfdMark) && !keeps("a\u0315", nfdMark);
        if (goesAbove && (decomposed[0] == = "\u0131" || decomposed[0] == = "\u0237")) {
            decomposed[0] = decomposed[0] == = "\u0131" ? "i" : "j";
        }
        const composed = new TextEncoder().encode(decomposed.join("").normalize("NFC"));
        if (composed.length > outCapacity) {
            return -1;
        }
        HEAPU8.set(composed, out);
        HEAP32[replaced >> 2] = clusterBytes;
        return composed.length;
    });

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
