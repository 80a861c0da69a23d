#include "target_checks.h"

#include <bibsources/conversion.h>

#include <charconv>
#include <filesystem>
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

// Whether two paths name one file: the same file now, or, for a file not yet
// made, the same place.
bool samePlace(const std::string &a, const std::string &b)
{
    namespace fs = std::filesystem;
    std::error_code ignored;
    const auto place
        = [&](const std::string &path) { return fs::weakly_canonical(fs::absolute(path), ignored); };
    const fs::path placeOfA = place(a);
    return fs::equivalent(a, b, ignored) || (!placeOfA.empty() && placeOfA == place(b));
}

// The table of fields is written from the start, so it must not be a file
// the run reads or writes.
std::string reportProblem(const Options &options)
{
    if (options.report == "-") {
        return options.output == "-" ? "the report and the document cannot both go to standard output; "
                                       "name a --report FILE"
                                     : std::string();
    }
    const std::string named = "the report '" + options.report + "' is ";
    for (const std::string &input : options.inputs) {
        if (input != "-" && samePlace(options.report, input)) {
            return named + "the input '" + input + "', which it would replace; name another --report FILE";
        }
    }
    for (const std::string &macros : options.macroFiles) {
        if (samePlace(options.report, macros)) {
            return named + "the macros file '" + macros
                + "', which it would replace; name another --report FILE";
        }
    }
    for (const std::string &input : options.inputs) {
        const std::string output = options.output.empty() ? outputPathFor(input) : options.output;
        if (output != "-" && samePlace(options.report, output)) {
            return named + "the output '" + output + "'; name another --report FILE";
        }
    }
    return {};
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
    if (descriptorNamed(options.report) == STDOUT_FILENO) {
        options.report = "-";
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
            const std::string named = input == "-" ? inputName(input) : "'" + input + "'";
            return options.output.empty()
                ? "'" + input + "' would be replaced by its own Sources.xml; use -o OUTPUT"
                : "the output '" + output + "' is the input " + named + ", which it would replace";
        }
    }
    return options.report.empty() ? std::string() : reportProblem(options);
}

} // namespace bibsources::cli
