#include "definition_files.h"

#include "text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace bibsources {

DefinitionFiles readDefinitionFiles(const std::vector<std::string> &paths)
{
    DefinitionFiles files;
    for (const std::string &path : paths) {
        errno = 0;
        std::ifstream file(path, std::ios::binary);
        std::string text(std::istreambuf_iterator<char>(file), {});
        if (!file && !file.eof()) {
            const int reason = errno;
            files.error = "cannot read the macros file '" + path + "'"
                + (reason ? std::string(": ") + std::strerror(reason) : std::string());
            return files;
        }
        for (const std::string &problem : files.definitions.read(decodeParserText(text))) {
            files.messages.push_back(path + ": " + problem);
        }
    }
    return files;
}

} // namespace bibsources
