#pragma once

#include <bibsources/conversion.h>

#include <chrono>
#include <csignal>
#include <string>

namespace bibsources::cli {

// How long a run goes on before its progress line is drawn: one second, or
// the seconds that BIBSOURCES_PROGRESS_DELAY gives (0: at once; anything but
// a number of seconds from 0 to a day is ignored).
std::chrono::milliseconds progressLineDelay();

// One self-erasing line on a terminal that says how far a conversion has
// come: "refs.bib: 37% read, 12,345 entries". It is drawn only when the
// descriptor is a terminal, the line is enabled (not -q) and the run has
// gone on for longer than delay, so short runs and logs stay clean. It fits
// the terminal's width and is drawn again when that changes (SIGWINCH, which
// it handles while it lives). It is gone before the document is written (the
// terminal may be where it goes), when the object is destroyed, and when a
// signal ends the program (see eraseProgressLineOnSignal). Used from one
// thread at a time, and one at a time in a process.
class ProgressLine {
public:
    ProgressLine(int descriptor, bool enabled, std::chrono::milliseconds delay = progressLineDelay());
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

    // Hooks for a conversion whose progress redraws this line. They refer to
    // this object, which must outlive the conversion.
    ConversionHooks hooks();

    void update(const ConversionProgress &progress);

    // Removes the line if one is shown; call before writing anything else
    // to the same terminal.
    void erase();

private:
    void write(const std::string &text) const;
    int terminalColumns() const;

    int descriptor;
    bool shown; // whether this descriptor gets a line at all
    std::chrono::steady_clock::time_point showFrom;
    std::chrono::steady_clock::time_point lastDrawn;
    std::string drawn; // the text on the terminal now; empty when none
    int columns = 0; // the terminal's width when last asked; 0: unknown
    unsigned resizesSeen = 0;
    struct sigaction previousResizeAction { };
};

// The line for this progress in at most `columns` - 1 display columns (a
// line as wide as the terminal would wrap, and a wrapped line cannot be
// erased), or whole when columns is 0. The numbers come first: the file
// name is shortened in the middle ("a-long...name.bib") or left out before
// the share read is; "% read" and the count of entries go next. The name is
// shown as every message shows it, control characters escaped.
std::string progressText(const ConversionProgress &progress, int columns);

// "12,345": the count with its thousands grouped, as the line shows it.
std::string groupedCount(long long count);

// Erases the progress line on show, if any. Async-signal-safe: for the
// handler of a signal that ends the program.
void eraseProgressLineOnSignal() noexcept;

} // namespace bibsources::cli
