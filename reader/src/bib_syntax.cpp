#include "bib_syntax.h"

#include "name_split.h"
#include "parser_messages.h"
#include "value_text.h"

#include <cctype>
#include <utility>

namespace bibsources::reader {

namespace {

bool isBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f' || byte == '\v';
}

// What a BibTeX name (entry type, key, field, macro) may hold.
bool isNameByte(char byte)
{
    switch (byte) {
    case '"':
    case '#':
    case '%':
    case '\'':
    case '(':
    case ')':
    case ',':
    case '=':
    case '{':
    case '}':
    case '@':
        return false;
    default:
        return !isBlank(byte) && byte != '\0';
    }
}

bool isDigit(char byte)
{
    return byte >= '0' && byte <= '9';
}

std::string lowercase(std::string text)
{
    for (char &byte : text) {
        byte = static_cast<char>(std::tolower(static_cast<unsigned char>(byte)));
    }
    return text;
}

// What the parser says it expected, where it found something else.
namespace expected {
constexpr std::string_view nameText = "name (entry type, key, field, or macro name)";
constexpr std::string_view name = nameText;
constexpr std::string_view opening
    = "one of: start of entry (\"{\" or \"(\") or quoted string ({...} or \"...\")";
constexpr std::string_view endOfEntry = "end of entry (\"}\" or \")\")";
constexpr std::string_view key = "one of: number, name (entry type, key, field, or macro name), end of entry "
                                 "(\"}\" or \")\") or quoted string ({...} or \"...\")";
constexpr std::string_view comma = "\",\"";
constexpr std::string_view fieldName
    = "one of: name (entry type, key, field, or macro name) or end of entry (\"}\" or \")\")";
constexpr std::string_view equals = "\"=\"";
constexpr std::string_view value
    = "one of: number, name (entry type, key, field, or macro name) or quoted string ({...} or \"...\")";
} // namespace expected

Message parserWords(int line, std::string text)
{
    return Message{line, line, Message::Kind::Parser, std::move(text)};
}

// Watches a string's bytes for a line that begins like a field ("name =",
// after blanks): the sign of a string whose closing quote or brace is missing.
class RunawayWatch {
public:
    // Takes the next byte; true on the "=" of a line that begins like a field.
    bool looksLikeAField(char byte)
    {
        const bool field = byte == '=' && (state == State::InName || state == State::AfterName);
        state = next(state, byte);
        return field;
    }

    // At the blanks that indent a line the string goes on to.
    bool atLineStart() const { return state == State::LineStart; }

private:
    enum class State { InText, LineStart, InName, AfterName };

    static State next(State state, char byte)
    {
        if (byte == '\n') {
            return State::LineStart;
        }
        switch (state) {
        case State::LineStart:
            return byte == ' ' || byte == '\t' ? State::LineStart
                : isNameByte(byte)             ? State::InName
                                               : State::InText;
        case State::InName:
            return isNameByte(byte) ? State::InName : isBlank(byte) ? State::AfterName : State::InText;
        case State::AfterName:
            return isBlank(byte) ? State::AfterName : State::InText;
        default:
            return State::InText;
        }
    }

    State state = State::InText;
};

} // namespace

struct BibSyntax::Piece {
    enum class Kind { Text, Macro } kind = Kind::Text;
    std::string text; // the string or number; for a macro its name as written
    int line = 0;
};

struct BibSyntax::RawField {
    std::string name; // lowercased
    std::vector<Piece> pieces;
};

struct BibSyntax::RawEntry {
    std::string type; // lowercased
    std::string key;
    int line = 0;
    std::vector<RawField> fields;
};

BibSyntax::BibSyntax(
    SliceCursor &cursor, const FieldSelection &fields, const std::string &parserName, ReadLimits limits)
    : cursor(cursor)
    , fields(fields)
    , parserName(parserName)
    , limits(limits)
{
}

bool BibSyntax::hasMore()
{
    if (std::exchange(passOverToNextEntry, false)) {
        while (!cursor.atEnd() && cursor.peek() != '@') {
            cursor.take();
        }
    }
    // Between entries, "%" starts a comment to the end of its line; any
    // other text is junk, whose bytes but blanks are counted.
    bool inComment = false;
    while (!cursor.atEnd() && cursor.peek() != '@') {
        const char byte = cursor.take();
        inComment = byte == '%' || (inComment && byte != '\n');
        junk += inComment || isBlank(byte) ? 0 : 1;
    }
    return !cursor.atEnd();
}

BibStep BibSyntax::next()
{
    BibStep step;
    if (!hasMore()) {
        return step;
    }
    if (junk > 0) {
        step.messages.push_back(parserWords(
            cursor.line(), "warning: " + std::to_string(junk) + " characters of junk seen at toplevel"));
        junk = 0;
    }
    RawEntry raw;
    raw.line = cursor.line();
    entryBytesAtStart = cursor.offset();
    cursor.take(); // the '@'
    if (!readEntry(raw, step)) {
        step.kind = BibStep::Kind::Skipped;
        step.entry = Entry{};
        step.entry.line = raw.line;
        return step;
    }
    if (raw.type == "comment") {
        return step;
    }
    step.macroDefinition = raw.type == "string";
    step.entry = finish(std::move(raw), step);
    step.kind = step.kind == BibStep::Kind::Nothing ? BibStep::Kind::Entry : step.kind;
    return step;
}

bool BibSyntax::readEntry(RawEntry &raw, BibStep &step)
{
    skipBlanks();
    raw.type = lowercase(readName());
    if (raw.type.empty()) {
        syntaxError(step, expected::name);
        return false;
    }
    skipBlanks();
    if (cursor.atEnd() || (cursor.peek() != '{' && cursor.peek() != '(')) {
        syntaxError(step, expected::opening);
        return false;
    }
    const char closer = cursor.take() == '{' ? '}' : ')';
    if (raw.type == "comment") {
        return readComment(closer, step);
    }
    return readBody(raw, closer, step);
}

bool BibSyntax::readComment(char closer, BibStep &step)
{
    std::string ignored;
    return readDelimited(ignored, closer, step);
}

bool BibSyntax::readBody(RawEntry &raw, char closer, BibStep &step)
{
    skipBlanks();
    if (raw.type == "preamble") {
        RawField field{"preamble", {}};
        if (!readValue(field.pieces, step)) {
            return false;
        }
        raw.fields.push_back(std::move(field));
        skipBlanks();
        if (!atCloser()) {
            syntaxError(step, expected::endOfEntry);
            return false;
        }
        takeCloser(closer, step);
        return true;
    }
    if (raw.type != "string") {
        raw.key = readName();
        if (raw.key.empty()) {
            syntaxError(step, expected::key);
            return false;
        }
        skipBlanks();
        if (atCloser()) {
            takeCloser(closer, step);
            return true;
        }
        if (cursor.atEnd() || cursor.peek() != ',') {
            syntaxError(step, expected::comma);
            return false;
        }
        cursor.take();
    }
    return readFields(raw, closer, step);
}

bool BibSyntax::readFields(RawEntry &raw, char closer, BibStep &step)
{
    for (;;) {
        skipBlanks();
        if (atCloser()) {
            takeCloser(closer, step);
            return true;
        }
        RawField field{lowercase(readName()), {}};
        if (field.name.empty()) {
            syntaxError(step, expected::fieldName);
            return false;
        }
        if (isDigit(field.name[0])) {
            step.messages.push_back(parserWords(cursor.line(),
                "syntax error: invalid field name \"" + field.name + "\": cannot start with digit"));
            passOverToNextEntry = true;
            return false;
        }
        skipBlanks();
        if (cursor.atEnd() || cursor.peek() != '=') {
            syntaxError(step, expected::equals);
            return false;
        }
        cursor.take();
        skipBlanks();
        if (!readValue(field.pieces, step)) {
            return false;
        }
        raw.fields.push_back(std::move(field));
        skipBlanks();
        if (!cursor.atEnd() && cursor.peek() == ',') {
            cursor.take();
            continue;
        }
        if (atCloser()) {
            takeCloser(closer, step);
            return true;
        }
        syntaxError(step, expected::endOfEntry);
        return false;
    }
}

bool BibSyntax::readValue(std::vector<Piece> &pieces, BibStep &step)
{
    for (;;) {
        if (!readPiece(pieces, step)) {
            return false;
        }
        skipBlanks();
        if (cursor.atEnd() || cursor.peek() != '#') {
            return true;
        }
        cursor.take();
        skipBlanks();
    }
}

bool BibSyntax::readPiece(std::vector<Piece> &pieces, BibStep &step)
{
    if (cursor.atEnd()) {
        syntaxError(step, expected::value);
        return false;
    }
    Piece piece;
    piece.line = cursor.line();
    const char first = cursor.peek();
    if (first == '"' || first == '{') {
        cursor.take();
        if (!readDelimited(piece.text, first == '"' ? '"' : '}', step)) {
            return false;
        }
    } else if (isNameByte(first)) {
        piece.text = readName();
        const bool number = !piece.text.empty()
            && piece.text.find_first_not_of("0123456789") == std::string::npos && isDigit(piece.text[0]);
        piece.kind = number ? Piece::Kind::Text : Piece::Kind::Macro;
    } else {
        syntaxError(step, expected::value);
        return false;
    }
    pieces.push_back(std::move(piece));
    return true;
}

// Reads up to the closing byte at brace depth 0 (for '"' too), braces kept.
bool BibSyntax::readDelimited(std::string &text, char closer, BibStep &step)
{
    const int startLine = cursor.line();
    int depth = 0;
    RunawayWatch runaway;
    while (!cursor.atEnd()) {
        if (cursor.offset() - entryBytesAtStart > limits.entryBytes) {
            step.messages.push_back(parserWords(cursor.line(),
                "error: entry longer than " + std::to_string(limits.entryBytes >> 20)
                    + " MiB (skipping it)"));
            return false;
        }
        const char byte = cursor.peek();
        if (runaway.looksLikeAField(byte)) {
            step.messages.push_back(parserWords(cursor.line(),
                "warning: possible runaway string started at line " + std::to_string(startLine)));
        }
        if (depth == 0 && byte == closer) {
            cursor.take();
            return true;
        }
        if (byte == '{' && ++depth > limits.braceDepth) {
            step.messages.push_back(parserWords(cursor.line(),
                "error: braces nested deeper than " + std::to_string(limits.braceDepth)
                    + " (skipping entry)"));
            return false;
        }
        if (byte == '}' && closer != ')') {
            if (depth == 0) {
                syntaxError(step, expected::value);
                return false;
            }
            --depth;
        } else if (byte == '}') {
            depth -= depth > 0 ? 1 : 0;
        }
        if ((byte == ' ' || byte == '\t') && runaway.atLineStart()) {
            cursor.take();
            continue;
        }
        appendStringByte(text, cursor.take());
    }
    syntaxError(step, expected::value);
    return false;
}

bool BibSyntax::atCloser() const
{
    return !cursor.atEnd() && (cursor.peek() == '}' || cursor.peek() == ')');
}

// Either closes an entry; the other one than its opening gets a warning.
void BibSyntax::takeCloser(char closer, BibStep &step)
{
    const int line = cursor.line();
    const char found = cursor.take();
    if (found != closer) {
        step.messages.push_back(parserWords(line,
            std::string("warning: entry started with \"") + (closer == '}' ? '{' : '(')
                + "\", but ends with \"" + found + "\""));
    }
}

std::string BibSyntax::readName()
{
    std::string name;
    while (!cursor.atEnd() && isNameByte(cursor.peek())) {
        name += cursor.take();
    }
    return name;
}

void BibSyntax::skipBlanks()
{
    while (!cursor.atEnd() && isBlank(cursor.peek())) {
        cursor.take();
    }
}

// Says what the parser found where it expected something else, and takes
// that token. After a value that is not followed by the end of the entry the
// parser goes on at the top level, so what follows is junk; after any other
// error everything up to the next "@" is passed over unremarked.
void BibSyntax::syntaxError(BibStep &step, std::string_view expected)
{
    const int line = cursor.line();
    const std::string found = cursor.atEnd() ? std::string() : takeToken();
    const bool endOfEntry = expected == expected::endOfEntry;
    step.messages.push_back(parserWords(line,
        "syntax error: " + (found.empty() ? std::string("at end of input") : "found \"" + found + "\"")
            + ", expected " + std::string(expected) + (endOfEntry ? " (skipping to next \"@\")" : "")));
    passOverToNextEntry = !endOfEntry;
}

// The token under the cursor, as the parser's messages quote it.
std::string BibSyntax::takeToken()
{
    const char first = cursor.peek();
    if (first == '@' || isNameByte(first)) {
        std::string token(1, cursor.take());
        return token + readName();
    }
    std::string token(1, cursor.take());
    if (first != '"') {
        return token;
    }
    int depth = 0;
    while (!cursor.atEnd() && (depth > 0 || cursor.peek() != '"')) {
        depth += cursor.peek() == '{' ? 1 : cursor.peek() == '}' ? -1 : 0;
        token += cursor.take();
    }
    if (!cursor.atEnd()) {
        token += cursor.take();
    }
    return token;
}

std::string BibSyntax::expanded(
    const std::vector<Piece> &pieces, std::vector<Message> &warnings, bool &tooLong) const
{
    std::string text;
    for (const Piece &piece : pieces) {
        std::string_view part = piece.text;
        if (piece.kind == Piece::Kind::Macro) {
            const std::optional<std::string_view> found = macros.find(lowercase(piece.text));
            if (!found) {
                warnings.push_back(
                    parserWords(piece.line, "warning: undefined macro \"" + piece.text + "\""));
            }
            part = found.value_or(std::string_view());
        }
        if (text.size() + part.size() > limits.valueBytes) {
            tooLong = true;
            return {};
        }
        text += part;
    }
    return text;
}

Entry BibSyntax::finish(RawEntry &&raw, BibStep &step)
{
    Entry entry;
    entry.type = std::move(raw.type);
    entry.key = std::move(raw.key);
    entry.line = raw.line;
    const bool keepEveryField = step.macroDefinition || entry.type == "preamble";
    // The names are split once the whole entry is read, so what splitting
    // them says comes after everything said about the entry itself.
    std::vector<Message> splitting;
    for (RawField &field : raw.fields) {
        const bool kept = keepEveryField || fields.keeps(field.name);
        if (!kept && fields.namesOfTheRest) {
            entry.fields.push_back(Field{field.name, {}, std::nullopt, true});
        }
        bool tooLong = false;
        std::string text = expanded(field.pieces, step.messages, tooLong);
        if (tooLong) {
            step.messages.push_back(parserWords(raw.line,
                "error: macros in field \"" + field.name + "\" expand beyond "
                    + std::to_string(limits.valueBytes >> 20) + " MiB (skipping entry)"));
            step.kind = BibStep::Kind::Skipped;
            return Entry{{}, {}, {}, raw.line};
        }
        // A macro keeps its spaces: they count where it is pasted.
        if (step.macroDefinition && macros.define(field.name, text)) {
            step.messages.push_back(parserWords(
                raw.line, "warning: overriding existing definition of macro \"" + field.name + "\""));
        }
        if (kept) {
            entry.fields.push_back(fieldFrom(field.name, collapsedSpaces(text), splitting));
        }
    }
    step.messages.insert(step.messages.end(), splitting.begin(), splitting.end());
    return entry;
}

Field BibSyntax::fieldFrom(const std::string &name, std::string text, std::vector<Message> &splitting) const
{
    Field field{name, std::move(text), std::nullopt};
    if (fields.splitsNames(name)) {
        SplitNames split = splitNames(field.text);
        field.names = std::move(split.people);
        std::string_view said = split.diagnostics;
        while (!said.empty()) {
            const std::size_t end = std::min(said.find('\n'), said.size());
            splitting.push_back(parserMessage(said.substr(0, end), parserName));
            said.remove_prefix(std::min(end + 1, said.size()));
        }
    }
    return field;
}

} // namespace bibsources::reader
