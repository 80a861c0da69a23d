#include "progress_line.h"

#include "display_width.h"
#include "printable.h"

#include <bibsources/conversion.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sys/ioctl.h>
#include <unistd.h>
#include <vector>

namespace bibsources::cli {

namespace {

// Redrawing more often only makes the terminal flicker.
constexpr std::chrono::milliseconds redrawInterval{100};

// Back to the start of the line and clear it to the end.
constexpr char clearLine[] = "\r\033[K";

// A name shorter than this says too little; the line leaves it out instead.
constexpr int shortestName = 12;
constexpr char ellipsis[] = "...";

// What signal handlers share with the line, the only way they have in: the
// descriptor a line is on show on (or -1), and how often the terminal has
// changed its size.
std::atomic<int> descriptorOnShow{-1};
std::atomic<unsigned> terminalResizes{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free);

extern "C" void countResize(int)
{
    terminalResizes.fetch_add(1, std::memory_order_relaxed);
}

std::string shortened(const std::string &name, int columns)
{
    const int kept = columns - displayWidth(ellipsis);
    return std::string(leadingColumns(name, kept - kept / 2)) + ellipsis
        + std::string(trailingColumns(name, kept / 2));
}

} // namespace

std::string progressText(const ConversionProgress &progress, int columns)
{
    const std::string input(progress.inputPath);
    const std::string name
        = printable(input == "-" ? inputName(input) : std::filesystem::path(input).filename().string());
    const std::string entries
        = groupedCount(progress.entriesRead) + (progress.entriesRead == 1 ? " entry" : " entries");
    std::vector<std::string> numbers{entries};
    if (progress.bytesTotal > 0) {
        const std::string share = std::to_string(progress.bytesRead * 100 / progress.bytesTotal) + "%";
        numbers = {share + " read, " + entries, share + " read", share};
    }
    if (columns <= 0) {
        return name + ": " + numbers.front();
    }
    const int room = columns - 1;
    for (const std::string &shown : numbers) {
        const int nameRoom = room - displayWidth(shown) - 2;
        if (displayWidth(name) <= nameRoom) {
            return name + ": " + shown;
        }
        if (nameRoom >= shortestName) {
            return shortened(name, nameRoom) + ": " + shown;
        }
    }
    for (const std::string &shown : numbers) {
        if (displayWidth(shown) <= room) {
            return shown;
        }
    }
    return std::string(leadingColumns(numbers.back(), room));
}

std::string groupedCount(long long count)
{
    std::string digits = std::to_string(count < 0 ? -count : count);
    for (auto at = static_cast<long long>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<size_t>(at), ",");
    }
    return count < 0 ? "-" + digits : digits;
}

void eraseProgressLineOnSignal() noexcept
{
    const int descriptor = descriptorOnShow.exchange(-1);
    if (descriptor >= 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(descriptor, clearLine, sizeof clearLine - 1);
    }
}

std::chrono::milliseconds progressLineDelay()
{
    const char *text = std::getenv("BIBSOURCES_PROGRESS_DELAY");
    if (text == nullptr || *text == '\0') {
        return std::chrono::seconds(1);
    }
    char *end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(seconds) || seconds < 0 || seconds > 86400) {
        return std::chrono::seconds(1);
    }
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

ProgressLine::ProgressLine(int descriptor, bool enabled, std::chrono::milliseconds delay)
    : descriptor(descriptor)
    , shown(enabled && ::isatty(descriptor) == 1)
    , showFrom(std::chrono::steady_clock::now() + delay)
{
    if (!shown) {
        return;
    }
    // SA_RESTART: a resize must not fail a read or write of the conversion.
    struct sigaction action { };
    action.sa_handler = countResize;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGWINCH, &action, &previousResizeAction);
    resizesSeen = terminalResizes.load();
    columns = terminalColumns();
}

ProgressLine::~ProgressLine()
{
    erase();
    if (shown) {
        ::sigaction(SIGWINCH, &previousResizeAction, nullptr);
    }
}

ConversionHooks ProgressLine::hooks()
{
    ConversionHooks hooks;
    if (shown) {
        hooks.progress = [this](const ConversionProgress &progress) { update(progress); };
        hooks.beforeOutput = [this] { erase(); };
    }
    return hooks;
}

void ProgressLine::update(const ConversionProgress &progress)
{
    const auto now = std::chrono::steady_clock::now();
    const unsigned resizes = terminalResizes.load();
    const bool resized = resizes != resizesSeen;
    if (!shown || now < showFrom || (!drawn.empty() && !resized && now - lastDrawn < redrawInterval)) {
        return;
    }
    if (resized) {
        resizesSeen = resizes;
        columns = terminalColumns();
    }
    const std::string text = progressText(progress, columns);
    if (text != drawn || resized) {
        // Told before it is drawn: a signal in between finds a line to erase.
        descriptorOnShow = descriptor;
        write(clearLine + text);
        drawn = text;
    }
    lastDrawn = now;
}

void ProgressLine::erase()
{
    if (!drawn.empty()) {
        descriptorOnShow = -1;
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

int ProgressLine::terminalColumns() const
{
    winsize size{};
    return ::ioctl(descriptor, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

} // namespace bibsources::cli
