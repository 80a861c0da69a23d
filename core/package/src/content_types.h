#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

constexpr std::string_view contentTypesPart = "[Content_Types].xml";
constexpr std::string_view contentTypesNamespace
    = "http://schemas.openxmlformats.org/package/2006/content-types";

// What [Content_Types].xml says: a type per extension, and per part where it
// differs.
struct ContentTypes {
    struct Default {
        std::string extension;
        std::string contentType;
    };
    struct Override {
        std::string partName; // as written: "/word/document.xml"
        std::string contentType;
    };
    std::vector<Default> defaults;
    std::vector<Override> overrides;

    // The content type of a part ("word/document.xml"); empty when none is
    // given. Names and extensions compare without regard to ASCII case.
    std::string of(std::string_view partName) const;
    bool hasDefault(std::string_view extension) const;
};

struct ContentTypesParse {
    ContentTypes types;
    std::string error;

    bool ok() const { return error.empty(); }
};

ContentTypesParse parseContentTypes(std::string_view text);

struct ContentTypesChange {
    std::vector<ContentTypes::Default> defaults; // added when the extension has none
    std::vector<ContentTypes::Override> overrides; // added, or replacing one for the same part
};

struct ContentTypesWritten {
    std::string text;
    std::string error;

    bool ok() const { return error.empty(); }
};

// The text with the change made; every other byte stays as it is. A part
// in an encoding other than UTF-8 is written anew in UTF-8, its comments
// and processing instructions left out.
ContentTypesWritten changeContentTypes(std::string_view text, const ContentTypesChange &change);

} // namespace bibsources
