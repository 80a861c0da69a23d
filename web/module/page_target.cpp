#include "page_target.h"

#include "page_pieces.h"

#include <emscripten.h>

namespace bibsources {

namespace {

EM_JS(void, bibsources_take_output, (const char *bytes, int length),
    { Module["takeOutput"](HEAPU8.slice(bytes, bytes + length)); });

class PageTarget final : public RecordTarget {
public:
    ConversionResult open() override
    {
        ConversionResult result;
        result.outputPath = "Sources.xml";
        return result;
    }

    void append(std::string_view text) override { pieces.append(text); }

    ConversionResult commit(ConversionResult result) override
    {
        pieces.flush();
        return result;
    }

private:
    PagePieces pieces{bibsources_take_output};
};

} // namespace

std::unique_ptr<RecordTarget> pageTarget()
{
    return std::make_unique<PageTarget>();
}

void handOutput(const char *bytes, int length)
{
    bibsources_take_output(bytes, length);
}

} // namespace bibsources
