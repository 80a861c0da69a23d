#include "zip_dump.h"

#include "member_names.h"
#include "package.h"
#include "zip_archive.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

namespace bibsources {

namespace {

std::string escaped(std::string_view bytes)
{
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F || c == '\\' || c == '\'') {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", unsigned(byte));
            shown += code;
        } else {
            shown += c;
        }
    }
    return shown;
}

// FNV-1a, 64 bits: the same in every build.
std::string checkSum(std::string_view bytes)
{
    std::uint64_t sum = 0xcbf29ce484222325u;
    for (const char c : bytes) {
        sum = (sum ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(sum));
    return text;
}

const char *openingName(ZipOpenFault fault)
{
    switch (fault) {
    case ZipOpenFault::None:
        return "ok";
    case ZipOpenFault::NotZip:
        return "not a zip file";
    case ZipOpenFault::Unreadable:
        return "unreadable";
    case ZipOpenFault::NamesUnreadable:
        return "names unreadable";
    }
    return "?";
}

std::string readLine(const ZipRead &read)
{
    switch (read.fault) {
    case ZipReadFault::None:
        return std::to_string(read.bytes.size()) + " bytes '"
            + escaped(std::string_view(read.bytes).substr(0, 40)) + (read.bytes.size() > 40 ? "'..." : "'")
            + " sum " + checkSum(read.bytes);
    case ZipReadFault::NoSize:
        return "no size";
    case ZipReadFault::TooLarge:
        return "too large";
    case ZipReadFault::Encrypted:
        return "encrypted";
    case ZipReadFault::CannotOpen:
        return "cannot open";
    case ZipReadFault::Damaged:
        return "damaged";
    case ZipReadFault::Longer:
        return "longer than it says";
    }
    return "?";
}

} // namespace

std::string describeZip(std::string bytes, std::size_t limit)
{
    ZipArchive archive(ZipInput::ofBytes(std::move(bytes)));
    std::string description = std::string("open: ") + openingName(archive.opening().fault) + "\n";
    if (archive.opening().fault != ZipOpenFault::None) {
        return description;
    }
    const std::string problem = memberNamesProblem(archive.names());
    description += "names: " + (problem.empty() ? std::string("ok") : problem) + "\n";
    for (std::size_t i = 0; i < archive.names().size(); ++i) {
        description
            += "member '" + escaped(archive.names()[i]) + "': " + readLine(archive.read(i, limit)) + "\n";
    }
    return description;
}

std::string describeRewritten(std::string bytes, std::size_t limit)
{
    Package package("rewritten.zip", std::move(bytes));
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> output(std::tmpfile(), std::fclose);
    if (!package.error().empty() || !output) {
        return package.error() + "\n";
    }
    if (!package.setPart("word/document.xml", "<changed/>") || !package.setPart("added.xml", "<added/>")) {
        return package.error() + "\n";
    }
    if (const std::string problem = package.writeTo(fileno(output.get())); !problem.empty()) {
        return problem + "\n";
    }
    std::string written;
    std::rewind(output.get());
    for (int c = std::fgetc(output.get()); c != EOF; c = std::fgetc(output.get())) {
        written += static_cast<char>(c);
    }
    return describeZip(std::move(written), limit);
}

} // namespace bibsources
