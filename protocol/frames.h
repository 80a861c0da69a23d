#pragma once

#include "entry.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// The byte stream the parser worker writes to the converter. It is a plain
// sequence of frames, each a one-byte kind, a four-byte payload length and
// the payload. Integers are little-endian; a string is a four-byte length
// followed by its bytes. Only the worker writes it and only the converter
// reads it, but the converter treats it as hostile: a worker that btparse's
// bugs have corrupted can write anything.
namespace wire {

enum class FrameKind : std::uint8_t {
    Ready = 1, // set up, sandboxed, about to parse
    Step = 2, // one parser call
    End = 3, // the loop and the end-of-file call are done
};

// What a parser call gave, as carried by a Step frame.
enum class StepKind : std::uint8_t {
    Nothing = 0, // no entry, or one with nothing to map (a comment)
    Entry = 1, // a cleanly parsed entry
    Skipped = 2, // an entry that did not parse cleanly
};

constexpr std::size_t frameHeaderSize = 5;

} // namespace wire

struct Frame {
    wire::FrameKind kind = wire::FrameKind::Ready;
    // Step frames:
    wire::StepKind step = wire::StepKind::Nothing;
    // Input offset the parser had read up to after the call. Exact for the
    // last step of each block the worker sends, and a Skipped step always
    // ends a block; a step before it within a block carries the figure of
    // the step before.
    std::uint64_t consumedUpTo = 0;
    bool macroDefinition = false; // the entry's fields are macro names and values
    std::string diagnostics; // what the parser printed during the call (End: the last call)
    Entry entry; // for StepKind::Entry; for Skipped only the line it started on
    // End frames:
    bool readError = false;

    bool operator==(const Frame &) const = default;
};

enum class DecodeStatus {
    Complete, // one frame decoded; `used` bytes belong to it
    NeedMore, // the bytes so far are a valid beginning of a frame
    Corrupt, // no frame can start this way
};

struct DecodeResult {
    DecodeStatus status = DecodeStatus::NeedMore;
    std::size_t used = 0;
    Frame frame;
};

// Decodes the first frame of `bytes`. A frame whose payload would be longer
// than maxPayload is Corrupt, so a lying length can never make the reader
// allocate or wait for more than that. Pure: no I/O, no state.
DecodeResult decodeFrame(std::string_view bytes, std::size_t maxPayload);

// Appends the encoding of `frame` to `out`.
void encodeFrame(const Frame &frame, std::string &out);

// The macro definitions a restarted worker is given: name/value string pairs
// back to back, with no header. decodeMacros returns false for bytes that do
// not split into whole pairs.
using MacroList = std::vector<std::pair<std::string, std::string>>;
void encodeMacros(const MacroList &macros, std::string &out);
bool decodeMacros(std::string_view bytes, MacroList &macros);

} // namespace bibsources
