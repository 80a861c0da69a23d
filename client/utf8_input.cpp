#include "utf8_input.h"

#include "input_encoding.h"
#include "input_file.h"

#include <cerrno>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace bibsources {

namespace {

// Copies standard input into an in-memory file: a reader then reads it like
// any file, and a restarted worker can start in the middle of it.
UniqueFd bufferStandardInput(std::string &error)
{
    UniqueFd fd(::memfd_create("bibsources-stdin", MFD_CLOEXEC));
    if (!fd.valid() || !copyAll(STDIN_FILENO, fd.get())) {
        error = std::string("cannot read standard input: ") + std::strerror(errno);
        return {};
    }
    return fd;
}

Utf8Input inUtf8(Utf8Input input)
{
    const ByteOrderMark mark = byteOrderMarkOf(readAt(input.fd.get(), 0, 4));
    if (!mark.encoding) {
        input.textStart = mark.length;
        return input;
    }
    TranscodedInput transcoded = transcodeToUtf8(input.fd.get(), mark);
    if (!transcoded.error.empty()) {
        input.error = "cannot read '" + input.fileName + "': " + transcoded.error;
    }
    input.fd = std::move(transcoded.fd);
    return input;
}

Utf8Input openForReading(const std::string &inputPath)
{
    if (inputPath == "-") {
        Utf8Input input{{}, "(standard input)", {}, 0};
        input.fd = bufferStandardInput(input.error);
        return input;
    }
    OpenedInput opened = openInputFile(inputPath);
    return {std::move(opened.fd), inputPath, std::move(opened.error), 0};
}

} // namespace

Utf8Input openUtf8Input(const std::string &inputPath)
{
    Utf8Input input = openForReading(inputPath);
    return input.ok() ? inUtf8(std::move(input)) : std::move(input);
}

} // namespace bibsources
