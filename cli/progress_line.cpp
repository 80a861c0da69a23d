#include "progress_line.h"

#include <filesystem>
#include <sys/ioctl.h>
#include <unistd.h>

namespace bibsources::cli {

namespace {

// Redrawing more often only makes the terminal flicker.
constexpr std::chrono::milliseconds redrawInterval{100};

// Back to the start of the line and clear it to the end.
constexpr const char *clearLine = "\r\033[K";

std::string describe(const ConversionProgress &progress)
{
    const std::string input(progress.inputPath);
    std::string text = input == "-" ? "standard input" : std::filesystem::path(input).filename().string();
    text += ": ";
    if (progress.bytesTotal > 0) {
        text += std::to_string(progress.bytesRead * 100 / progress.bytesTotal) + "% read, ";
    }
    return text + groupedCount(progress.entriesRead) + (progress.entriesRead == 1 ? " entry" : " entries");
}

} // namespace

std::string groupedCount(long long count)
{
    std::string digits = std::to_string(count < 0 ? -count : count);
    for (auto at = static_cast<long long>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<size_t>(at), ",");
    }
    return count < 0 ? "-" + digits : digits;
}

ProgressLine::ProgressLine(int descriptor, bool enabled, std::chrono::milliseconds delay)
    : descriptor(descriptor)
    , shown(enabled && ::isatty(descriptor) == 1)
    , showFrom(std::chrono::steady_clock::now() + delay)
{
}

ProgressLine::~ProgressLine()
{
    erase();
}

ConversionHooks ProgressLine::hooks()
{
    ConversionHooks hooks;
    if (shown) {
        hooks.progress = [this](const ConversionProgress &progress) { update(progress); };
    }
    return hooks;
}

void ProgressLine::update(const ConversionProgress &progress)
{
    const auto now = std::chrono::steady_clock::now();
    if (!shown || now < showFrom || (!drawn.empty() && now - lastDrawn < redrawInterval)) {
        return;
    }
    const std::string text = fitted(describe(progress));
    if (text != drawn) {
        write(clearLine + text);
        drawn = text;
    }
    lastDrawn = now;
}

void ProgressLine::erase()
{
    if (!drawn.empty()) {
        write(clearLine);
        drawn.clear();
    }
}

void ProgressLine::write(const std::string &text) const
{
    // Progress is a courtesy: a terminal that takes no more is not an error.
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(descriptor, text.data() + done, text.size() - done);
        if (written <= 0) {
            return;
        }
        done += static_cast<size_t>(written);
    }
}

std::string ProgressLine::fitted(std::string text) const
{
    // A line that wraps cannot be erased with a carriage return, so it stays
    // one column short of the terminal's width.
    winsize size{};
    if (::ioctl(descriptor, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && text.size() >= size.ws_col) {
        text.resize(size.ws_col - 1u);
    }
    return text;
}

} // namespace bibsources::cli
