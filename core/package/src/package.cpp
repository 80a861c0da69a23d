#include "package.h"

#include "member_names.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

namespace bibsources {

namespace {

std::string megabytes(std::size_t bytes)
{
    return std::to_string(bytes >> 20) + " MB";
}

std::string quoted(std::string_view name)
{
    return "'" + std::string(name) + "'";
}

std::string openingError(const std::string &path, const ZipOpening &opening)
{
    switch (opening.fault) {
    case ZipOpenFault::None:
        return {};
    case ZipOpenFault::NotZip:
        return quoted(path) + " is not a Word document (it is not a zip package)";
    case ZipOpenFault::Unreadable:
        return quoted(path) + " is not a readable zip package (" + opening.detail + ")";
    case ZipOpenFault::NamesUnreadable:
        return quoted(path) + " is damaged: its list of members cannot be read";
    }
    return {};
}

std::string readError(std::string_view partName, const ZipRead &read, std::size_t limit)
{
    const std::string part = "its part " + quoted(partName);
    switch (read.fault) {
    case ZipReadFault::None:
        return {};
    case ZipReadFault::NoSize:
        return part + " is damaged (it does not say its size)";
    case ZipReadFault::TooLarge:
        return part + " would unpack to more than " + megabytes(limit);
    case ZipReadFault::Encrypted:
        return part + " is encrypted";
    case ZipReadFault::CannotOpen:
        return part + " cannot be read (" + read.detail + ")";
    case ZipReadFault::Damaged:
        return part + " is damaged (" + read.detail + ")";
    case ZipReadFault::Longer:
        return part + " is damaged (it unpacks to more than it says)";
    }
    return {};
}

} // namespace

Package::Package(const std::string &path)
    : filePath(path)
{
    UniqueFd input(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info { };
    if (!input.valid() || ::fstat(input.get(), &info) != 0) {
        failure = "cannot read " + quoted(path) + ": " + std::strerror(errno);
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        failure = quoted(path) + " is not a regular file";
        return;
    }
    open(ZipInput::ofFile(std::move(input), static_cast<std::uint64_t>(info.st_size), info.st_mtime));
}

Package::Package(const std::string &name, std::string bytes)
    : filePath(name)
{
    open(ZipInput::ofBytes(std::move(bytes)));
}

Package::~Package() = default;

void Package::open(ZipInput input)
{
    archive = std::make_unique<ZipArchive>(std::move(input));
    failure = openingError(filePath, archive->opening());
    // Which member a name means must be beyond doubt, and no name may
    // change on the way through.
    if (const std::string problem = failure.empty() ? memberNamesProblem(archive->names()) : std::string();
        !problem.empty()) {
        failure = quoted(filePath) + " is damaged: " + problem;
    }
    if (!failure.empty()) {
        archive.reset();
    }
}

std::vector<std::string> Package::memberNames() const
{
    return archive ? archive->names() : std::vector<std::string>();
}

std::optional<std::size_t> Package::indexOf(std::string_view partName) const
{
    if (!archive) {
        return std::nullopt;
    }
    const std::vector<std::string> &names = archive->names();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].size() == partName.size()
            && ::strncasecmp(names[i].data(), partName.data(), partName.size()) == 0) {
            return i;
        }
    }
    return std::nullopt;
}

bool Package::contains(std::string_view partName) const
{
    return indexOf(partName).has_value();
}

PartText Package::readPart(std::string_view partName, std::size_t limit) const
{
    const std::optional<std::size_t> index = indexOf(partName);
    if (!index) {
        return {{}, "it has no part " + quoted(partName)};
    }
    ZipRead read = archive->read(*index, limit);
    return {std::move(read.bytes), readError(partName, read, limit)};
}

bool Package::setPart(const std::string &partName, std::string text)
{
    if (!archive) {
        return false;
    }
    newContents.push_back(std::make_unique<std::string>(std::move(text)));
    const std::string problem = archive->change(indexOf(partName), partName, *newContents.back());
    if (!problem.empty()) {
        failure = "cannot change the part " + quoted(partName) + " of " + quoted(filePath) + ": " + problem;
    }
    return problem.empty();
}

std::string Package::writeTo(int outputFd)
{
    if (!archive) {
        return failure.empty() ? "the package " + quoted(filePath) + " was already written" : failure;
    }
    if (newContents.empty()) {
        // An archive without changes would be written as nothing at all.
        return "nothing in " + quoted(filePath) + " was changed";
    }
    const std::string problem = archive->write(outputFd);
    archive.reset();
    return problem.empty() ? problem : "cannot write " + quoted(filePath) + ": " + problem;
}

} // namespace bibsources
