#include "page_pieces.h"

namespace bibsources {

namespace {

constexpr std::size_t pieceSize = 1 << 20;

} // namespace

void PagePieces::append(std::string_view text)
{
    piece += text;
    if (piece.size() >= pieceSize) {
        flush();
    }
}

void PagePieces::flush()
{
    if (!piece.empty()) {
        handOver(piece.data(), int(piece.size()));
        piece.clear();
    }
}

} // namespace bibsources
