#include "page_target.h"

#include <emscripten.h>

#include <string>

namespace bibsources {

namespace {

EM_JS(void, bibsources_take_output, (const char *bytes, int length),
    { Module["takeOutput"](HEAPU8.slice(bytes, bytes + length)); });

constexpr std::size_t pieceSize = 1 << 20;

class PageTarget final : public RecordTarget {
public:
    ConversionResult open() override
    {
        ConversionResult result;
        result.outputPath = "Sources.xml";
        return result;
    }

    void append(std::string_view text) override
    {
        piece += text;
        if (piece.size() >= pieceSize) {
            handOver();
        }
    }

    ConversionResult commit(ConversionResult result) override
    {
        handOver();
        return result;
    }

private:
    void handOver()
    {
        if (!piece.empty()) {
            bibsources_take_output(piece.data(), int(piece.size()));
            piece.clear();
        }
    }

    std::string piece;
};

} // namespace

std::unique_ptr<RecordTarget> pageTarget()
{
    return std::make_unique<PageTarget>();
}

} // namespace bibsources
