// Fuzzes the converter's decoding of what a parser worker writes, which a
// corrupted worker can make anything. For any bytes:
//  - decoding never reads outside them, never allocates far beyond the
//    payload limit (libFuzzer's malloc limit fails the run) and never throws;
//  - a complete frame is exactly the encoding of what was decoded, whatever
//    bytes follow it, and every shorter beginning of it asks for more bytes;
//  - a stream of frames is consumed with progress at every step;
//  - a macro list that decodes is exactly the encoding of its pairs.
// The first input byte picks the payload limit, so small limits are tried too.

#include "fuzz_check.h"

#include "frames.h"

using fuzzcheck::check;

namespace {

void checkFrame(std::string_view bytes, size_t maxPayload)
{
    using namespace bibsources;
    const DecodeResult result = decodeFrame(bytes, maxPayload);
    if (result.status != DecodeStatus::Complete) {
        return;
    }
    check(result.used >= wire::frameHeaderSize && result.used <= bytes.size(),
        "a complete frame claims bytes it was not given", bytes);
    check(result.used - wire::frameHeaderSize <= maxPayload, "a frame exceeds the payload limit", bytes);

    const std::string_view frameBytes = bytes.substr(0, result.used);
    std::string encoded;
    encodeFrame(result.frame, encoded);
    check(encoded == frameBytes, "re-encoding a decoded frame gives other bytes", frameBytes);

    const DecodeResult alone = decodeFrame(frameBytes, maxPayload);
    check(alone.status == DecodeStatus::Complete && alone.used == result.used && alone.frame == result.frame,
        "the bytes after a frame changed its decoding", frameBytes);

    // Every prefix would be O(n^2); the header boundary and the last byte are
    // where an off-by-one would show.
    for (size_t length :
        {size_t(0), size_t(1), wire::frameHeaderSize - 1, wire::frameHeaderSize, result.used - 1}) {
        if (length < result.used) {
            const DecodeResult part = decodeFrame(frameBytes.substr(0, length), maxPayload);
            check(part.status == DecodeStatus::NeedMore,
                "the beginning of a valid frame was not taken as such", frameBytes);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace bibsources;
    if (size == 0) {
        return 0;
    }
    const size_t maxPayload = data[0] < 64 ? size_t(data[0]) * 8 : size_t(1) << 20;
    std::string_view stream(reinterpret_cast<const char *>(data) + 1, size - 1);

    checkFrame(stream, maxPayload);
    while (!stream.empty()) {
        const DecodeResult result = decodeFrame(stream, maxPayload);
        if (result.status != DecodeStatus::Complete) {
            break;
        }
        check(result.used > 0, "a complete frame used no bytes", stream);
        stream.remove_prefix(result.used);
        checkFrame(stream, maxPayload);
    }

    const std::string_view whole(reinterpret_cast<const char *>(data) + 1, size - 1);
    MacroList macros;
    if (decodeMacros(whole, macros)) {
        std::string encoded;
        encodeMacros(macros, encoded);
        check(encoded == whole, "re-encoding decoded macros gives other bytes", whole);
    }
    return 0;
}
