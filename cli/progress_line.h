#pragma once

#include <bibsources/conversion.h>

#include <chrono>
#include <string>

namespace bibsources::cli {

// One self-erasing line on a terminal that says how far a conversion has
// come: "refs.bib: 37% read, 12,345 entries". It is drawn only when the
// descriptor is a terminal, the line is enabled (not -q) and the run has
// gone on for longer than delay, so short runs and logs stay clean. Used
// from one thread at a time.
class ProgressLine {
public:
    ProgressLine(int descriptor, bool enabled, std::chrono::milliseconds delay = std::chrono::seconds(1));
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
    std::string fitted(std::string text) const;

    int descriptor;
    bool shown; // whether this descriptor gets a line at all
    std::chrono::steady_clock::time_point showFrom;
    std::chrono::steady_clock::time_point lastDrawn;
    std::string drawn; // the text on the terminal now; empty when none
};

// "12,345": the count with its thousands grouped, as the line shows it.
std::string groupedCount(long long count);

} // namespace bibsources::cli
