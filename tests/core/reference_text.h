#pragma once

#include "names.h"
#include "text.h"

#include <string>
#include <string_view>

namespace bibsources::testing {

// Every occurrence of `from` in `text` replaced by `to`, scanning left to right
// and continuing behind each replaced occurrence, so inserted text is never
// searched again. The clean-up is checked against its rows applied this way,
// one after the other.
inline std::string replaceAll(std::string_view text, std::string_view from, std::string_view to)
{
    if (from.empty()) {
        return std::string(text);
    }
    std::string result;
    std::size_t start = 0;
    for (std::size_t hit = text.find(from); hit != std::string_view::npos; hit = text.find(from, start)) {
        result.append(text, start, hit - start);
        result.append(to);
        start = hit + from.size();
    }
    result.append(text, start);
    return result;
}

// `text` written `times` times over.
inline std::string repeated(std::string_view text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// The element content the converter makes of one parser string.
inline std::string xmlContent(std::string_view parserBytes)
{
    std::string out;
    appendXmlContent(out, parserBytes);
    return out;
}

// The elements one part of a person's name makes, as a string of their own.
inline std::string namePart(const Person &person, NamePart part)
{
    std::string out;
    appendNamePart(out, person, part);
    return out;
}

} // namespace bibsources::testing
