#include "xml_writer.h"

#include <array>

namespace bibsources {

namespace {

// Whether a byte may need a reference, so that the scan looks each byte up
// once in a table and copies runs of the rest.
constexpr std::array<bool, 256> mayNeedReference = [] {
    std::array<bool, 256> table{};
    for (unsigned c = 0; c < 256; ++c) {
        table[c] = !xmlReference(static_cast<char>(c), XmlPlace::Attribute).empty();
    }
    return table;
}();

} // namespace

void appendXmlEscaped(std::string &out, std::string_view text, XmlPlace place)
{
    size_t plainFrom = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!mayNeedReference[static_cast<unsigned char>(text[i])]) {
            continue;
        }
        const std::string_view reference = xmlReference(text[i], place);
        if (reference.empty()) {
            continue;
        }
        out.append(text.substr(plainFrom, i - plainFrom)).append(reference);
        plainFrom = i + 1;
    }
    out.append(text.substr(plainFrom));
}

std::string xmlEscaped(std::string_view text, XmlPlace place)
{
    std::string out;
    out.reserve(text.size());
    appendXmlEscaped(out, text, place);
    return out;
}

} // namespace bibsources
