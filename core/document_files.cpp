// Which paths name Word documents, for the targets and for --to-bib alike.
#include "record_target.h"

#include "merge_file.h"
#include "unique_fd.h"

#include <cctype>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

namespace bibsources {

namespace {

bool hasDocumentExtension(const std::string &path)
{
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos) {
        return false;
    }
    std::string extension = path.substr(dot + 1);
    for (char &c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == "docx" || extension == "docm" || extension == "dotx" || extension == "dotm";
}

bool beginsAsPackage(const std::string &path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    const std::string start = file.valid() ? readAt(file.get(), 0, 4) : std::string();
    return start == std::string_view("PK\3\4", 4) || start == "\xD0\xCF\x11\xE0";
}

} // namespace

bool isDocumentTarget(const std::string &outputPath)
{
    return hasDocumentExtension(outputPath) || beginsAsPackage(outputPath);
}

std::string notADocumentFile(const std::string &path)
{
    const std::string problem = notARegularFile(path);
    return problem.empty() ? problem : problem + ", not a Word document";
}

} // namespace bibsources
