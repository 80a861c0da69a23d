#include "xml_writer.h"

namespace bibsources {

void appendXmlEscaped(std::string &out, std::string_view text, XmlPlace place)
{
    size_t plainFrom = 0;
    for (size_t i = 0; i < text.size(); ++i) {
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
