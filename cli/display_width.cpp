#include "display_width.h"

#include <utf8proc.h>

#include <vector>

namespace bibsources::cli {

namespace {

struct Cluster {
    size_t end; // where it ends in the text
    int width;
};

// The text cut into grapheme clusters, each with the columns it takes. The
// widths of a cluster's characters are added up: for the rare cluster a
// terminal draws narrower (an emoji sequence) the line only comes out short.
std::vector<Cluster> clustersOf(std::string_view text)
{
    std::vector<Cluster> clusters;
    utf8proc_int32_t previous = -1;
    utf8proc_int32_t state = 0;
    for (size_t at = 0; at < text.size();) {
        utf8proc_int32_t codePoint = -1;
        const auto length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t *>(text.data() + at),
            utf8proc_ssize_t(text.size() - at), &codePoint);
        const bool valid = length > 0;
        const int width = valid ? utf8proc_charwidth(codePoint) : 1;
        const bool startsCluster = clusters.empty() || !valid || previous < 0
            || utf8proc_grapheme_break_stateful(previous, codePoint, &state);
        at += valid ? size_t(length) : 1;
        if (startsCluster) {
            clusters.push_back({at, width});
        } else {
            clusters.back().end = at;
            clusters.back().width += width;
        }
        previous = valid ? codePoint : -1;
        if (!valid) {
            state = 0;
        }
    }
    return clusters;
}

} // namespace

int displayWidth(std::string_view text)
{
    int width = 0;
    for (const Cluster &cluster : clustersOf(text)) {
        width += cluster.width;
    }
    return width;
}

std::string_view leadingColumns(std::string_view text, int columns)
{
    size_t end = 0;
    for (const Cluster &cluster : clustersOf(text)) {
        columns -= cluster.width;
        if (columns < 0) {
            break;
        }
        end = cluster.end;
    }
    return text.substr(0, end);
}

std::string_view trailingColumns(std::string_view text, int columns)
{
    const std::vector<Cluster> clusters = clustersOf(text);
    size_t start = text.size();
    for (auto cluster = clusters.rbegin(); cluster != clusters.rend(); ++cluster) {
        columns -= cluster->width;
        if (columns < 0) {
            break;
        }
        const auto before = std::next(cluster);
        start = before == clusters.rend() ? 0 : before->end;
    }
    return text.substr(start);
}

} // namespace bibsources::cli
