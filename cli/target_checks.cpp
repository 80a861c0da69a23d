#include "target_checks.h"

#include <bibsources/conversion.h>

#include <charconv>
#include <sys/stat.h>
#include <unistd.h>

namespace bibsources::cli {

namespace {

// The regular file behind a path ("-": standard input), if there is one.
bool regularFile(const std::string &path, struct stat &info)
{
    const int result = path == "-" ? ::fstat(STDIN_FILENO, &info) : ::stat(path.c_str(), &info);
    return result == 0 && S_ISREG(info.st_mode);
}

bool sameFile(const std::string &output, const std::string &input)
{
    struct stat written { };
    struct stat read { };
    return regularFile(output, written) && regularFile(input, read) && written.st_dev == read.st_dev
        && written.st_ino == read.st_ino;
}

} // namespace

int descriptorNamed(std::string_view path)
{
    const std::string_view streams[] = {"/dev/stdin", "/dev/stdout", "/dev/stderr"};
    for (int fd = 0; fd < 3; ++fd) {
        if (path == streams[fd]) {
            return fd;
        }
    }
    for (std::string_view folder : {"/dev/fd/", "/proc/self/fd/"}) {
        if (path.starts_with(folder) && path.size() > folder.size()) {
            const std::string_view digits = path.substr(folder.size());
            int fd = -1;
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
            if (error == std::errc() && end == digits.data() + digits.size()) {
                return fd;
            }
        }
    }
    return -1;
}

void useStandardStreamNames(Options &options)
{
    for (std::string &input : options.inputs) {
        if (descriptorNamed(input) == STDIN_FILENO) {
            input = "-";
        }
    }
    if (descriptorNamed(options.output) == STDOUT_FILENO) {
        options.output = "-";
    }
}

std::string targetProblem(const Options &options)
{
    // Standard output under any of its names: a stream has no list in it to
    // merge into, and writing only the new records would lose the list.
    if (options.merge && options.output == "-") {
        return "--merge needs -o LIST: the source list file to merge into, not standard output";
    }
    for (const std::string &input : options.inputs) {
        if (options.output.empty() && descriptorNamed(input) >= 0) {
            return "'" + input
                + "' is an open descriptor, with no folder to write Sources.xml into; use -o OUTPUT";
        }
        const std::string output = options.output.empty() ? outputPathFor(input) : options.output;
        if (output != "-" && sameFile(output, input)) {
            const std::string inputName = input == "-" ? "standard input" : "'" + input + "'";
            return options.output.empty()
                ? "'" + input + "' would be replaced by its own Sources.xml; use -o OUTPUT"
                : "the output '" + output + "' is the input " + inputName + ", which it would replace";
        }
    }
    return {};
}

} // namespace bibsources::cli
