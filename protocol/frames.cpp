#include "frames.h"

#include <limits>

namespace bibsources {

namespace {

void putU8(std::string &out, std::uint8_t value)
{
    out.push_back(static_cast<char>(value));
}

void putU32(std::string &out, std::uint32_t value)
{
    char bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xff);
    }
    out.append(bytes, 4);
}

void putU64(std::string &out, std::uint64_t value)
{
    putU32(out, static_cast<std::uint32_t>(value));
    putU32(out, static_cast<std::uint32_t>(value >> 32));
}

void putString(std::string &out, std::string_view text)
{
    putU32(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

void putTokens(std::string &out, const std::vector<std::string> &tokens)
{
    putU32(out, static_cast<std::uint32_t>(tokens.size()));
    for (const std::string &token : tokens) {
        putString(out, token);
    }
}

void putEntry(std::string &out, const Entry &entry)
{
    putU32(out, static_cast<std::uint32_t>(entry.line));
    putString(out, entry.type);
    putString(out, entry.key);
    putU32(out, static_cast<std::uint32_t>(entry.fields.size()));
    for (const Field &field : entry.fields) {
        putString(out, field.name);
        putString(out, field.text);
        putU8(out, field.names ? 1 : field.textLeftOut ? 2 : 0);
        if (field.names) {
            putU32(out, static_cast<std::uint32_t>(field.names->size()));
            for (const Person &person : *field.names) {
                putTokens(out, person.last);
                putTokens(out, person.first);
                putTokens(out, person.von);
                putTokens(out, person.jr);
            }
        }
    }
}

// Reads from a payload whose length has already been checked. Every read
// checks what is left, so no count or length from the stream can reach past
// the payload or ask for more memory than the payload itself could fill.
class Reader {
public:
    explicit Reader(std::string_view bytes)
        : rest(bytes)
    {
    }

    bool u8(std::uint8_t &value)
    {
        if (rest.empty()) {
            return false;
        }
        value = static_cast<std::uint8_t>(rest.front());
        rest.remove_prefix(1);
        return true;
    }

    bool u32(std::uint32_t &value)
    {
        if (rest.size() < 4) {
            return false;
        }
        value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(rest[i])) << (8 * i);
        }
        rest.remove_prefix(4);
        return true;
    }

    bool u64(std::uint64_t &value)
    {
        std::uint32_t low = 0;
        std::uint32_t high = 0;
        if (!u32(low) || !u32(high)) {
            return false;
        }
        value = (static_cast<std::uint64_t>(high) << 32) | low;
        return true;
    }

    bool string(std::string &value)
    {
        std::uint32_t length = 0;
        if (!u32(length) || length > rest.size()) {
            return false;
        }
        value.assign(rest.substr(0, length));
        rest.remove_prefix(length);
        return true;
    }

    // A count of items each at least minItemSize bytes long.
    bool count(std::uint32_t &value, std::size_t minItemSize)
    {
        return u32(value) && value <= rest.size() / minItemSize;
    }

    bool tokens(std::vector<std::string> &out)
    {
        std::uint32_t n = 0;
        if (!count(n, 4)) {
            return false;
        }
        out.resize(n);
        for (std::string &token : out) {
            if (!string(token)) {
                return false;
            }
        }
        return true;
    }

    bool atEnd() const { return rest.empty(); }

private:
    std::string_view rest;
};

bool readEntry(Reader &in, Entry &entry)
{
    std::uint32_t line = 0;
    std::uint32_t fieldCount = 0;
    if (!in.u32(line) || line > static_cast<std::uint32_t>(std::numeric_limits<int>::max())
        || !in.string(entry.type) || !in.string(entry.key) || !in.count(fieldCount, 9)) {
        return false;
    }
    entry.line = static_cast<int>(line);
    entry.fields.resize(fieldCount);
    for (Field &field : entry.fields) {
        // 0: the text alone, 1: the text and its names, 2: the name alone.
        std::uint8_t form = 0;
        if (!in.string(field.name) || !in.string(field.text) || !in.u8(form) || form > 2) {
            return false;
        }
        field.textLeftOut = form == 2;
        if (form != 1) {
            continue;
        }
        std::uint32_t personCount = 0;
        if (!in.count(personCount, 8)) {
            return false;
        }
        std::vector<Person> &people = field.names.emplace();
        people.resize(personCount);
        for (Person &person : people) {
            if (!in.tokens(person.last) || !in.tokens(person.first) || !in.tokens(person.von)
                || !in.tokens(person.jr)) {
                return false;
            }
        }
    }
    return true;
}

bool readPayload(wire::FrameKind kind, std::string_view payload, Frame &frame)
{
    Reader in(payload);
    frame.kind = kind;
    switch (kind) {
    case wire::FrameKind::Ready:
        break;
    case wire::FrameKind::End: {
        std::uint8_t readError = 0;
        if (!in.u8(readError) || readError > 1 || !in.string(frame.diagnostics)) {
            return false;
        }
        frame.readError = readError == 1;
        break;
    }
    case wire::FrameKind::Step: {
        std::uint8_t step = 0;
        std::uint8_t macroDefinition = 0;
        if (!in.u8(step) || step > 2 || !in.u64(frame.consumedUpTo) || !in.u8(macroDefinition)
            || macroDefinition > 1 || !in.string(frame.diagnostics)) {
            return false;
        }
        frame.step = static_cast<wire::StepKind>(step);
        frame.macroDefinition = macroDefinition == 1;
        if (frame.step != wire::StepKind::Nothing && !readEntry(in, frame.entry)) {
            return false;
        }
        break;
    }
    default:
        return false;
    }
    return in.atEnd();
}

} // namespace

void encodeFrame(const Frame &frame, std::string &out)
{
    putU8(out, static_cast<std::uint8_t>(frame.kind));
    const std::size_t lengthAt = out.size();
    putU32(out, 0);
    switch (frame.kind) {
    case wire::FrameKind::Ready:
        break;
    case wire::FrameKind::End:
        putU8(out, frame.readError ? 1 : 0);
        putString(out, frame.diagnostics);
        break;
    case wire::FrameKind::Step:
        putU8(out, static_cast<std::uint8_t>(frame.step));
        putU64(out, frame.consumedUpTo);
        putU8(out, frame.macroDefinition ? 1 : 0);
        putString(out, frame.diagnostics);
        if (frame.step != wire::StepKind::Nothing) {
            putEntry(out, frame.entry);
        }
        break;
    }
    const auto length = static_cast<std::uint32_t>(out.size() - lengthAt - 4);
    for (int i = 0; i < 4; ++i) {
        out[lengthAt + i] = static_cast<char>((length >> (8 * i)) & 0xff);
    }
}

DecodeResult decodeFrame(std::string_view bytes, std::size_t maxPayload)
{
    DecodeResult result;
    if (bytes.empty()) {
        return result;
    }
    const auto kind = static_cast<wire::FrameKind>(static_cast<std::uint8_t>(bytes[0]));
    if (kind != wire::FrameKind::Ready && kind != wire::FrameKind::Step && kind != wire::FrameKind::End) {
        result.status = DecodeStatus::Corrupt;
        return result;
    }
    if (bytes.size() < wire::frameHeaderSize) {
        return result;
    }
    std::uint32_t length = 0;
    Reader header(bytes.substr(1, 4));
    header.u32(length);
    if (length > maxPayload) {
        result.status = DecodeStatus::Corrupt;
        return result;
    }
    if (bytes.size() - wire::frameHeaderSize < length) {
        return result;
    }
    if (!readPayload(kind, bytes.substr(wire::frameHeaderSize, length), result.frame)) {
        result.status = DecodeStatus::Corrupt;
        result.frame = Frame{};
        return result;
    }
    result.status = DecodeStatus::Complete;
    result.used = wire::frameHeaderSize + length;
    return result;
}

void encodeMacros(const MacroList &macros, std::string &out)
{
    for (const auto &[name, value] : macros) {
        putString(out, name);
        putString(out, value);
    }
}

bool decodeMacros(std::string_view bytes, MacroList &macros)
{
    Reader in(bytes);
    while (!in.atEnd()) {
        std::string name;
        std::string value;
        if (!in.string(name) || !in.string(value)) {
            return false;
        }
        macros.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

} // namespace bibsources
