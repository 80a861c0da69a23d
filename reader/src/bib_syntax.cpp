#include "bib_syntax.h"

#include "entry_recovery.h"
#include "name_split.h"
#include "parser_messages.h"
#include "value_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>
#include <span>
#include <utility>

namespace bibsources::reader {

namespace {

constexpr bool isBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r' || byte == '\f' || byte == '\v';
}

// The blanks the parser's lexer passes over, between entries and within
// them; a form feed or vertical tab is junk between entries.
constexpr bool isLexBlank(char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r';
}

// What the parser's lexer takes for no token at all within an entry, NUL
// included: it says so, and drops the byte after it too.
constexpr bool isInvalidInEntry(char byte)
{
    const auto code = static_cast<unsigned char>(byte);
    return byte == '\\' || byte == '\'' || code == 0x7F || (code < 0x20 && !isLexBlank(byte));
}

// What a BibTeX name (entry type, key, field, macro) may hold. Within an
// entry "@" is one of them: only between entries does it start one.
constexpr bool isNameByte(char byte)
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
        return false;
    default:
        return !isBlank(byte) && byte != '\0' && !isInvalidInEntry(byte);
    }
}

constexpr bool isDigit(char byte)
{
    return byte >= '0' && byte <= '9';
}

// A name of digits alone is a number to the parser, which no entry type or
// field name may be.
bool isNumber(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), isDigit);
}

// A to Z only, as the parser helper lowercases in the C locale it runs in;
// never the locale of the process the reader runs in.
std::string lowercase(std::string text)
{
    for (char &byte : text) {
        byte = byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte - 'A' + 'a') : byte;
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

// A line of a string that begins like a field ("name ="): the string may
// have lost its closing quote or brace.
Message runawayWarning(int line, int startLine)
{
    return parserWords(line, "warning: possible runaway string started at line " + std::to_string(startLine));
}

using ByteSet = std::array<bool, 256>;

constexpr ByteSet byteSet(bool (*member)(char))
{
    ByteSet set{};
    for (int byte = 0; byte < 256; ++byte) {
        set[static_cast<std::size_t>(byte)] = member(static_cast<char>(byte));
    }
    return set;
}

// The lexer's words for text it could not read, about no line in particular.
// It quotes the text as a C string: up to a NUL byte in it.
Message invalidToken(int line, std::string_view text)
{
    text = text.substr(0, text.find('\0'));
    return Message{0, 0, Message::Kind::Parser,
        "invalid token near line " + std::to_string(line) + " (text was '" + std::string(text) + "')"};
}

// A comment needs its line break: one the input ends in is no token, which
// the lexer quotes; more than a message keeps is never kept.
constexpr std::size_t longestQuotedComment = 1000;

// Text between entries as the parser's lexer reads it: a "%" where a token
// starts begins a comment to the end of its line (one within junk is junk),
// and every byte but blanks and comments is junk. The parser counts a run
// of junk as the C string it holds: only up to a NUL byte in it.
class TextBetweenEntries {
public:
    // Takes the next byte; true when it is junk the parser counts.
    bool isJunk(char byte)
    {
        const bool commentStarts = !comment && byte == '%' && tokenStart;
        comment = commentStarts || (comment && byte != '\n');
        if (commentStarts) {
            commentText.clear();
            commentHoldsNoJunk = false;
        }
        if (comment && commentText.size() < longestQuotedComment) {
            commentText += byte;
        }
        commentHoldsNoJunk = comment && (commentHoldsNoJunk || byte == '@' || isLexBlank(byte));
        tokenStart = isLexBlank(byte);
        nulInRun = !tokenStart && (nulInRun || byte == '\0');
        return !comment && !tokenStart && !nulInRun;
    }

    bool inComment() const { return comment; }

    // What the lexer says of a comment the input ends in: nothing while it
    // could still be a run of junk, which holds no blank and no "@".
    std::optional<Message> openCommentAtEnd(int line) const
    {
        return comment && commentHoldsNoJunk ? std::optional(invalidToken(line, commentText)) : std::nullopt;
    }

private:
    bool comment = false;
    bool tokenStart = true;
    bool nulInRun = false;
    bool commentHoldsNoJunk = false;
    std::string commentText;
};

// The bytes a value's text runs on through unchanged: all but the braces,
// the closers, line breaks, carriage returns and NUL.
constexpr ByteSet plainBytes = byteSet(
    [](char byte) { return std::string_view("{}\")\n\r\0", 7).find(byte) == std::string_view::npos; });
// The same in the run a line break starts, where white space is changed
// and more bytes end the run.
constexpr ByteSet plainBytesInLineRun = byteSet([](char byte) {
    return std::string_view("{}\")(\\\n\r\t\f\v\0", 12).find(byte) == std::string_view::npos;
});
constexpr ByteSet nameBytes = byteSet(isNameByte);
constexpr ByteSet lexBlankBytes = byteSet(isLexBlank);

// How many bytes at the start of `text` are in `set`.
std::size_t runOf(const ByteSet &set, std::string_view text)
{
    std::size_t length = 0;
    while (length < text.size() && set[static_cast<unsigned char>(text[length])]) {
        ++length;
    }
    return length;
}

// Takes the run of `set` bytes that begins what is ahead in the cursor's
// current slice, appending it to `text`, and says how many bytes it took.
// No set it is given holds a line break.
std::size_t keepRun(SliceCursor &cursor, const ByteSet &set, std::string &text)
{
    const std::string_view ahead = cursor.ahead();
    const std::size_t length = runOf(set, ahead);
    text.append(ahead.substr(0, length));
    cursor.skipPlain(length);
    return length;
}

constexpr bool isLetter(char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
}

// What the parser takes for the rest of a field's name in a line that may be
// a runaway string's. An apostrophe is among them here, though no field's
// name may hold one.
constexpr bool continuesFieldName(char byte)
{
    return isLetter(byte) || isDigit(byte) || byte == '.' || byte == ':' || byte == '+' || byte == '/'
        || byte == '-' || byte == '\'';
}

constexpr ByteSet fieldNameBytes = byteSet(continuesFieldName);
// What indents a line of a string: white space, each a space to the lexer.
constexpr ByteSet indentBytes = byteSet([](char byte) { return isBlank(byte) && byte != '\n'; });

// Watches a string's bytes for a line that begins like a field ("name =",
// after blanks): the sign of a string whose closing quote or brace is missing.
// The parser warns of it once a string.
class RunawayWatch {
public:
    // Takes the next byte; true on the "=" of the first line that begins
    // like a field.
    bool looksLikeAField(char byte)
    {
        const bool field = byte == '=' && (state == State::InName || state == State::AfterName) && !warned;
        warned = warned || field;
        state = next(state, byte);
        return field;
    }

    // Within a line's text, where only a line break matters.
    bool inText() const { return state == State::InText; }

    // At the blanks that indent a line the string goes on to.
    bool atLineStart() const { return state == State::LineStart; }

    // Within a word that starts a line, and might be a field's name.
    bool inName() const { return state == State::InName; }

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
                : isLetter(byte)               ? State::InName
                                               : State::InText;
        case State::InName:
            return continuesFieldName(byte) ? State::InName
                : isBlank(byte)             ? State::AfterName
                                            : State::InText;
        case State::AfterName:
            return isBlank(byte) ? State::AfterName : State::InText;
        default:
            return State::InText;
        }
    }

    State state = State::InText;
    bool warned = false;
};

// The parser's lexer reads a string in runs of bytes that braces,
// parentheses, backslashes and quotes end, and a line break starts. In a
// run a line break starts it takes every white space byte for a space;
// elsewhere, each byte for itself.
class StringRuns {
public:
    // Takes the next byte; what the lexer makes of it (a line break stays).
    char lexed(char byte)
    {
        if (byte == '\n') {
            afterLineBreak = true;
            return byte;
        }
        afterLineBreak = afterLineBreak && !endsRun(byte);
        return afterLineBreak && isBlank(byte) ? ' ' : byte;
    }

    // Within the run a line break started, where white space is changed.
    bool inLineRun() const { return afterLineBreak; }

private:
    static constexpr bool endsRun(char byte)
    {
        return byte == '{' || byte == '}' || byte == '(' || byte == ')' || byte == '\\' || byte == '"';
    }

    bool afterLineBreak = false;
};

} // namespace

struct BibSyntax::Piece {
    enum class Kind { Text, Macro } kind = Kind::Text;
    std::string text; // the string or number; for a macro its name as written
    int line = 0;
};

struct BibSyntax::RawField {
    std::string name; // lowercased
    std::size_t firstPiece = 0; // its pieces in RawEntry::pieces
    std::size_t pieceCount = 0;
};

// One entry as read, before its values are expanded. One is kept from entry
// to entry, so that its lists are allocated once.
struct BibSyntax::RawEntry {
    std::string type; // lowercased
    std::string key;
    int line = 0;
    std::vector<RawField> fields;
    std::vector<Piece> pieces; // of all its fields, in order

    void restart(int firstLine)
    {
        type.clear();
        key.clear();
        line = firstLine;
        fields.clear();
        pieces.clear();
    }

    std::span<Piece> piecesOf(const RawField &field)
    {
        return std::span<Piece>(pieces).subspan(field.firstPiece, field.pieceCount);
    }
};

BibSyntax::BibSyntax(
    SliceCursor &cursor, const FieldSelection &fields, const std::string &parserName, ReadLimits limits)
    : cursor(cursor)
    , fields(fields)
    , parserName(parserName)
    , limits(limits)
    , entryRead(std::make_unique<RawEntry>())
{
}

BibSyntax::~BibSyntax() = default;

BibSyntax::BibSyntax(SliceCursor &cursor, const FieldSelection &fields, const std::string &parserName,
    const MacroTable &macros, ReadLimits limits)
    : BibSyntax(cursor, fields, parserName, limits)
{
    this->macros = macros;
    recovers = false;
}

bool BibSyntax::hasMore()
{
    if (std::exchange(passOverToNextEntry, false)) {
        while (!cursor.atEnd() && cursor.peek() != '@') {
            cursor.take();
        }
    }
    // Junk between entries is counted; an "@" in a comment starts nothing.
    // What the converter calls text, for an input without entries, is all
    // but blanks and what follows any "%" on its line.
    TextBetweenEntries between;
    bool afterPercent = false;
    while (!cursor.atEnd() && (between.inComment() || cursor.peek() != '@')) {
        const char byte = cursor.take();
        hiddenAt = hiddenAt || byte == '@';
        junk += between.isJunk(byte) ? 1 : 0;
        afterPercent = byte == '%' || (afterPercent && byte != '\n');
        if (firstTextLine == 0 && !afterPercent && !isBlank(byte)) {
            firstTextLine = cursor.line();
        }
    }
    if (std::optional<Message> said = between.openCommentAtEnd(cursor.line())) {
        lexerSaid.push_back(std::move(*said));
    }
    entrySeen = entrySeen || !cursor.atEnd();
    // The parser, called on an input whose only "@" is in a comment, finds
    // no entry before the end: one step, with its complaint.
    return !cursor.atEnd() || (!started && hiddenAt);
}

BibStep BibSyntax::next()
{
    BibStep step;
    if (!hasMore()) {
        return step;
    }
    step.messages = std::exchange(lexerSaid, {});
    const bool firstCall = !std::exchange(started, true) || std::exchange(restarted, false);
    if (firstCall && cursor.atEnd()) {
        step.messages.push_back(parserWords(cursor.line(), "syntax error: at end of input, expected \"@\""));
        return step;
    }
    sayJunk(step);
    RawEntry &raw = *entryRead;
    raw.restart(cursor.line());
    entryBytesAtStart = cursor.offset();
    cursor.startRecording();
    cursor.take(); // the '@'
    if (!firstCall && cursor.atEnd()) {
        // The parser took this "@" as it ended the last entry, and the end
        // of the input with it: it is not called again.
        cursor.stopRecording();
        return step;
    }
    const bool read = readEntry(raw, step);
    if (!read || std::exchange(lexicalError, false)) {
        recover(step, raw.line);
        return step;
    }
    cursor.stopRecording();
    lookAhead(step);
    if (raw.type == "comment") {
        return step;
    }
    step.macroDefinition = raw.type == "string";
    step.entry = finish(raw, step);
    step.kind = step.kind == BibStep::Kind::Nothing ? BibStep::Kind::Entry : step.kind;
    return step;
}

// The junk seen since the last entry, once an entry follows it.
void BibSyntax::sayJunk(BibStep &step)
{
    if (junk > 0) {
        step.messages.push_back(parserWords(
            cursor.line(), "warning: " + std::to_string(junk) + " characters of junk seen at toplevel"));
        junk = 0;
    }
}

// The parser looks for the next entry's "@" before it finishes the entry
// just read: what it says of the text between comes before what it says
// while finishing (macros, names).
void BibSyntax::lookAhead(BibStep &step)
{
    if (hasMore() && !cursor.atEnd()) {
        sayJunk(step);
    }
    std::move(lexerSaid.begin(), lexerSaid.end(), std::back_inserter(step.messages));
    lexerSaid.clear();
}

// An entry the parser could not read is mended, cut or skipped as the
// converter does it for the helper (entry_recovery.h); reading goes on
// behind what it keeps, with what it cut read again.
void BibSyntax::recover(BibStep &step, int line)
{
    if (std::exchange(passOverToNextEntry, false)) {
        passOverToNextAt(step);
    }
    lexState = LexState::TopLevel;
    lexicalError = false;
    std::string text = cursor.takeRecording();
    if (std::exchange(typeMissing, false)) {
        // The parser's own words are all that is said.
        return;
    }
    text += openingOfEntryFound(text);
    step.kind = BibStep::Kind::Skipped;
    step.entry = Entry{{}, {}, {}, line};
    if (!recovers) {
        return;
    }
    Recovery recovery = recoverEntry(text, line, cursor.atEnd(), std::move(step.messages),
        [this](const std::string &mended, int from) { return readAlone(mended, from); });
    step.messages = std::move(recovery.messages);
    if (recovery.kept) {
        step.kind = BibStep::Kind::Entry;
        step.entry = std::move(*recovery.kept);
    } else if (!recovery.skipped) {
        step.kind = BibStep::Kind::Nothing;
    }
    if (recovery.resumeAt < text.size()) {
        const std::string_view before = std::string_view(text).substr(0, recovery.resumeAt);
        const int resumeLine = line + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
        cursor.replay(text.substr(recovery.resumeAt), resumeLine);
        // Reading starts afresh there, as a new helper would.
        junk = 0;
        restarted = true;
    }
}

// After an error the parser passes over everything up to the next "@" that
// starts an entry. Its lexer still reads tokens there as it would in the
// entry: a "{" or "(" after a type opens a body, whose closer ends it, and
// text after that is junk between entries. What follows the "@" of an entry
// without its type is read so too. When the input ends in the body the
// error was in, the parser says so once more.
void BibSyntax::passOverToNextAt(BibStep &step)
{
    const bool errorInBody = lexState == LexState::InBody;
    TextBetweenEntries between;
    while (
        !cursor.atEnd() && (lexState != LexState::TopLevel || between.inComment() || cursor.peek() != '@')) {
        if (lexState != LexState::TopLevel) {
            passOverToken(step);
            continue;
        }
        junk += between.isJunk(cursor.take()) ? 1 : 0;
    }
    if (std::optional<Message> said = between.openCommentAtEnd(cursor.line())) {
        step.messages.push_back(std::move(*said));
    }
    if (errorInBody && lexState == LexState::InBody && cursor.atEnd()) {
        step.messages.push_back(parserWords(cursor.line(),
            "syntax error: at end of input, expected " + std::string(expected::endOfEntry)
                + " (skipping to next \"@\")"));
    }
}

// One token of an entry the parser passes over, with the lexer's warnings.
void BibSyntax::passOverToken(BibStep &step)
{
    const int line = cursor.line();
    const char first = cursor.peek();
    if (isLexBlank(first) || first == '%' || isInvalidInEntry(first)) {
        skipBlanksIn(step);
    } else if (isNameByte(first)) {
        // A number is no entry type.
        const bool type = !isNumber(readName());
        lexState = lexState == LexState::AfterAt && type ? LexState::AfterType : lexState;
    } else if (first == '"' || (first == '{' && lexState == LexState::InBody)) {
        warnOfStrangeToken(step, std::string_view(&first, 1), line);
        takeString(cursor.take(), step);
    } else if ((first == '{' || first == '(') && lexState == LexState::AfterType) {
        bodyCloser = cursor.take() == '{' ? '}' : ')';
        lexState = LexState::InBody;
    } else if ((first == '}' || first == ')') && lexState == LexState::InBody) {
        takeCloser(bodyCloser, step);
    } else {
        warnOfStrangeToken(step, std::string_view(&first, 1), line);
        cursor.take();
    }
}

// What the lexer says of a token where no entry has it: a string outside
// a body, a brace or parenthesis where it neither opens nor closes one (in
// a body a "{" starts a string; a "(" only ever opens one).
void BibSyntax::warnOfStrangeToken(BibStep &step, std::string_view found, int line) const
{
    const bool inBody = lexState == LexState::InBody;
    if (found.starts_with('"') && !inBody) {
        step.messages.push_back(parserWords(line, "warning: start of string seen at weird place"));
    } else if ((found == "{" && lexState == LexState::AfterAt)
        || (found == "(" && lexState != LexState::AfterType)) {
        step.messages.push_back(parserWords(
            line, "warning: \"" + std::string(found) + "\" in strange place -- should get a syntax error"));
    } else if ((found == "}" || found == ")") && !inBody) {
        step.messages.push_back(parserWords(
            line, "warning: \"" + std::string(found) + "\" in strange place -- should get a syntax error"));
    }
}

// The rest of a string whose opener ("\"" or "{") was taken, as the lexer
// takes it: to its closer at brace depth 0; nullopt when the input ends
// first, where the parser finds no token at all.
std::optional<std::string> BibSyntax::takeString(char opener, BibStep &step)
{
    const int startLine = cursor.line();
    std::string token(1, opener);
    int depth = opener == '{' ? 1 : 0;
    RunawayWatch runaway;
    StringRuns runs;
    while (!cursor.atEnd()) {
        const char byte = cursor.peek();
        const char lexed = runs.lexed(byte);
        if (runaway.looksLikeAField(lexed)) {
            step.messages.push_back(runawayWarning(cursor.line(), startLine));
        }
        if (opener == '"' && depth == 0 && byte == '"') {
            token += cursor.take();
            return token;
        }
        if (opener == '"' && depth == 0 && byte == '}') {
            unbalancedBrace(step, cursor.line());
        } else {
            depth += byte == '{' ? 1 : byte == '}' ? -1 : 0;
        }
        cursor.take();
        token += lexed == '\n' ? ' ' : lexed;
        if (opener == '{' && depth == 0) {
            return token;
        }
    }
    return std::nullopt;
}

// A quoted string with a "}" it never opened: the lexer says so and reads
// on, and the parser then skips the entry.
void BibSyntax::unbalancedBrace(BibStep &step, int line)
{
    step.messages.push_back(parserWords(line, "error: unbalanced braces: too many }'s"));
    lexicalError = true;
}

// An entry that ends where a line starts the next one ("@book{") is cut
// there and read again. The error took only that entry's "@" and type;
// its "{" or "(" is what shows the line plainly starts an entry.
std::string BibSyntax::openingOfEntryFound(const std::string &text)
{
    if (!std::exchange(foundAt, false)) {
        return {};
    }
    const std::size_t at = text.rfind('@');
    const std::size_t lineStart = text.find_last_of('\n', at);
    const std::size_t before = lineStart == std::string::npos ? 0 : lineStart + 1;
    if (at == std::string::npos || lineStart == std::string::npos
        || !std::all_of(text.begin() + static_cast<std::ptrdiff_t>(before),
            text.begin() + static_cast<std::ptrdiff_t>(at), isBlank)) {
        return {};
    }
    std::string opening;
    while (!cursor.atEnd() && isBlank(cursor.peek())) {
        opening += cursor.take();
    }
    if (!cursor.atEnd() && (cursor.peek() == '{' || cursor.peek() == '(')) {
        opening += cursor.take();
        return opening;
    }
    cursor.replay(
        opening, cursor.line() - static_cast<int>(std::count(opening.begin(), opening.end(), '\n')));
    return {};
}

std::optional<Entry> BibSyntax::readAlone(const std::string &text, int line) const
{
    bool given = false;
    const BibSlices slices
        = [&] { return std::exchange(given, true) ? std::string_view() : std::string_view(text); };
    SliceCursor alone(slices, line);
    BibSyntax syntax(alone, fields, parserName, macros, limits);
    std::optional<Entry> entry;
    while (syntax.hasMore()) {
        BibStep step = syntax.next();
        if (!step.messages.empty() || step.kind == BibStep::Kind::Skipped || step.macroDefinition
            || (step.kind == BibStep::Kind::Entry && entry)) {
            return std::nullopt;
        }
        if (step.kind == BibStep::Kind::Entry) {
            entry = std::move(step.entry);
        }
    }
    return entry;
}

bool BibSyntax::readEntry(RawEntry &raw, BibStep &step)
{
    lexState = LexState::AfterAt;
    skipBlanksIn(step);
    // The entry is on the line of its type, which need not be the "@"'s.
    raw.line = cursor.line();
    raw.type = lowercase(readName());
    if (raw.type.empty() || isNumber(raw.type)) {
        typeMissing = true;
        if (raw.type.empty()) {
            syntaxError(step, expected::name);
        } else {
            syntaxErrorAt(step, raw.line, raw.type, expected::name);
        }
        return false;
    }
    lexState = LexState::AfterType;
    skipBlanksIn(step);
    if (cursor.atEnd() || (cursor.peek() != '{' && cursor.peek() != '(')) {
        syntaxError(step, expected::opening);
        return false;
    }
    const char closer = cursor.take() == '{' ? '}' : ')';
    bodyCloser = closer;
    if (raw.type == "comment") {
        lexState = LexState::TopLevel;
        return readComment(closer, step);
    }
    lexState = LexState::InBody;
    return readBody(raw, closer, step);
}

bool BibSyntax::readComment(char closer, BibStep &step)
{
    // The lexer takes a comment's text whole; one never closed is no text,
    // so the parser finds the end right after "comment".
    std::string ignored;
    return readDelimited(ignored, closer, step, expected::opening);
}

bool BibSyntax::readBody(RawEntry &raw, char closer, BibStep &step)
{
    skipBlanksIn(step);
    if (raw.type == "preamble") {
        // Its value starts where an entry's key would, and the parser
        // expects what it would there.
        RawField field{"preamble", raw.pieces.size()};
        if (atCloser()) {
            // An empty preamble is closed, and then an error that names
            // what closed it and nothing it expected; what follows is junk.
            const int line = cursor.line();
            const char found = cursor.peek();
            takeCloser(closer, step);
            step.messages.push_back(parserWords(line, std::string("syntax error: found \"") + found + "\""));
            return false;
        }
        if (!readValue(raw.pieces, step, expected::key)) {
            return false;
        }
        field.pieceCount = raw.pieces.size() - field.firstPiece;
        raw.fields.push_back(std::move(field));
        skipBlanksIn(step);
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
        // A key is always followed by a comma, even in an entry of no
        // fields: "@misc{key}" is an error to the parser.
        skipBlanksIn(step);
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
        skipBlanksIn(step);
        if (atCloser()) {
            takeCloser(closer, step);
            return true;
        }
        const int line = cursor.line();
        RawField field{lowercase(readName()), raw.pieces.size()};
        if (field.name.empty()) {
            syntaxError(step, expected::fieldName);
            return false;
        }
        if (isNumber(field.name)) {
            syntaxErrorAt(step, line, field.name, expected::fieldName);
            return false;
        }
        if (isDigit(field.name[0])) {
            step.messages.push_back(parserWords(cursor.line(),
                "syntax error: invalid field name \"" + field.name + "\": cannot start with digit"));
            passOverToNextEntry = true;
            return false;
        }
        skipBlanksIn(step);
        if (cursor.atEnd() || cursor.peek() != '=') {
            syntaxError(step, expected::equals);
            return false;
        }
        cursor.take();
        skipBlanksIn(step);
        if (!readValue(raw.pieces, step, expected::value)) {
            return false;
        }
        field.pieceCount = raw.pieces.size() - field.firstPiece;
        raw.fields.push_back(std::move(field));
        skipBlanksIn(step);
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

bool BibSyntax::readValue(std::vector<Piece> &pieces, BibStep &step, std::string_view expectedFirst)
{
    for (std::string_view expectedHere = expectedFirst;; expectedHere = expected::value) {
        if (!readPiece(pieces, step, expectedHere)) {
            return false;
        }
        skipBlanksIn(step);
        if (cursor.atEnd() || cursor.peek() != '#') {
            return true;
        }
        cursor.take();
        skipBlanksIn(step);
    }
}

bool BibSyntax::readPiece(std::vector<Piece> &pieces, BibStep &step, std::string_view expected)
{
    if (cursor.atEnd()) {
        syntaxError(step, expected);
        return false;
    }
    Piece piece;
    piece.line = cursor.line();
    const char first = cursor.peek();
    if (first == '"' || first == '{') {
        cursor.take();
        // Read into a buffer kept from value to value, so that the piece's
        // own text is allocated once, at its size.
        delimitedText.clear();
        carriageReturnKept = false;
        if (!readDelimited(delimitedText, first == '"' ? '"' : '}', step, expected)) {
            return false;
        }
        piece.text = delimitedText;
        if (carriageReturnKept) {
            piece.text = withCarriageReturnsHalved(std::move(piece.text), 2);
        }
    } else if (isNameByte(first)) {
        piece.text = readName();
        const bool number = !piece.text.empty()
            && piece.text.find_first_not_of("0123456789") == std::string::npos && isDigit(piece.text[0]);
        piece.kind = number ? Piece::Kind::Text : Piece::Kind::Macro;
    } else {
        syntaxError(step, expected);
        return false;
    }
    pieces.push_back(std::move(piece));
    return true;
}

// Reads up to the closing byte at brace depth 0 (for '"' too), braces kept.
// Text never closed is no token: the parser finds the end of the input
// where it expected the text, `expectedAtEnd`.
bool BibSyntax::readDelimited(std::string &text, char closer, BibStep &step, std::string_view expectedAtEnd)
{
    const int startLine = cursor.line();
    int depth = 0;
    RunawayWatch runaway;
    StringRuns runs;
    while (!cursor.atEnd()) {
        if (cursor.offset() - entryBytesAtStart > limits.entryBytes) {
            step.messages.push_back(parserWords(cursor.line(),
                "error: entry longer than " + std::to_string(limits.entryBytes >> 20)
                    + " MiB (skipping it)"));
            return false;
        }
        if (runaway.inText()) {
            // The bulk of a value: bytes that change nothing but the text.
            if (keepRun(cursor, runs.inLineRun() ? plainBytesInLineRun : plainBytes, text) > 0) {
                continue;
            }
        } else if (runaway.atLineStart()) {
            // The blanks that indent a line go, and leave the watch as it is.
            const std::size_t indent = runOf(indentBytes, cursor.ahead());
            if (indent > 0) {
                cursor.skipPlain(indent);
                continue;
            }
        } else if (runaway.inName()) {
            // So does the rest of a word that starts a line; it is kept.
            if (keepRun(cursor, fieldNameBytes, text) > 0) {
                continue;
            }
        }
        const char byte = cursor.peek();
        const char lexed = runs.lexed(byte);
        if (runaway.looksLikeAField(lexed)) {
            step.messages.push_back(runawayWarning(cursor.line(), startLine));
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
        if (byte == '}' && depth == 0 && closer == '"') {
            unbalancedBrace(step, cursor.line());
        } else if (byte == '}') {
            depth -= depth > 0 ? 1 : 0;
        }
        cursor.take();
        if (!(lexed == ' ' && runaway.atLineStart())) {
            appendStringByte(text, lexed);
        }
        carriageReturnKept = carriageReturnKept || lexed == '\r';
    }
    syntaxError(step, expectedAtEnd);
    return false;
}

bool BibSyntax::atCloser() const
{
    return !cursor.atEnd() && (cursor.peek() == '}' || cursor.peek() == ')');
}

// Either closes an entry, read or passed over; the other one than its
// opening gets a warning.
void BibSyntax::takeCloser(char closer, BibStep &step)
{
    const int line = cursor.line();
    const char found = cursor.take();
    lexState = LexState::TopLevel;
    if (found != closer) {
        step.messages.push_back(parserWords(line,
            std::string("warning: entry started with \"") + (closer == '}' ? '{' : '(')
                + "\", but ends with \"" + found + "\""));
    }
}

std::string BibSyntax::readName()
{
    std::string name;
    // A name may run on into the next slice.
    while (!cursor.atEnd()) {
        const std::size_t inSlice = cursor.ahead().size();
        if (keepRun(cursor, nameBytes, name) < inSlice) {
            break;
        }
    }
    return name;
}

// Within an entry's body, "%" starts a comment to the end of its line, as
// between entries.
void BibSyntax::skipBlanks()
{
    while (!cursor.atEnd()) {
        const std::size_t blanks = runOf(lexBlankBytes, cursor.ahead());
        if (blanks > 0) {
            cursor.skip(blanks);
            continue;
        }
        if (lexState == LexState::TopLevel || cursor.peek() != '%') {
            return;
        }
        std::string comment;
        while (!cursor.atEnd() && cursor.peek() != '\n') {
            const char byte = cursor.take();
            if (comment.size() < longestQuotedComment) {
                comment += byte;
            }
        }
        if (cursor.atEnd()) {
            lexerSaid.push_back(invalidToken(cursor.line(), comment));
        }
    }
}

// Passes over blanks and comments, and bytes that are no token, with what
// the lexer says of each: the byte after one is dropped with it.
void BibSyntax::skipBlanksIn(BibStep &step)
{
    for (;;) {
        skipBlanks();
        std::move(lexerSaid.begin(), lexerSaid.end(), std::back_inserter(step.messages));
        lexerSaid.clear();
        if (cursor.atEnd() || !isInvalidInEntry(cursor.peek())) {
            return;
        }
        const int line = cursor.line();
        const char invalid = cursor.take();
        step.messages.push_back(invalidToken(line, std::string_view(&invalid, 1)));
        if (!cursor.atEnd()) {
            cursor.takeUncounted();
        }
    }
}

// Says what the parser found where it expected something else, and takes
// that token. After a value that is not followed by the end of the entry the
// parser goes on at the top level, so what follows is junk; after any other
// error everything up to the next "@" is passed over unremarked.
void BibSyntax::syntaxError(BibStep &step, std::string_view expected)
{
    const std::optional<std::string> token = cursor.atEnd() ? std::nullopt : takeToken(step);
    // On the line the token ends on: a string's may be a later one.
    syntaxErrorAt(step, cursor.line(), token.value_or(std::string()), expected);
}

// The same for a token already taken, on `line`; empty: the end of input.
void BibSyntax::syntaxErrorAt(BibStep &step, int line, const std::string &found, std::string_view expected)
{
    foundAt = found.starts_with('@');
    const bool endOfEntry = expected == expected::endOfEntry;
    if (endOfEntry || found == "}" || found == ")") {
        lexState = lexState == LexState::InBody || endOfEntry ? LexState::TopLevel : lexState;
    }
    step.messages.push_back(parserWords(line,
        "syntax error: " + (found.empty() ? std::string("at end of input") : "found \"" + found + "\"")
            + ", expected " + std::string(expected) + (endOfEntry ? " (skipping to next \"@\")" : "")));
    passOverToNextEntry = !endOfEntry;
}

// The token under the cursor, as the parser's messages quote it, after
// what the lexer says of it; nullopt for a string the input ends in.
std::optional<std::string> BibSyntax::takeToken(BibStep &step)
{
    const int line = cursor.line();
    const char first = cursor.peek();
    if (first == '@' || isNameByte(first)) {
        std::string token(1, cursor.take());
        return token + readName();
    }
    warnOfStrangeToken(step, std::string_view(&first, 1), line);
    cursor.take();
    if (first == '"' || (first == '{' && lexState == LexState::InBody)) {
        return takeString(first, step);
    }
    return std::string(1, first);
}

void BibSyntax::warnUndefined(std::span<const Piece> pieces, std::vector<Message> &warnings) const
{
    for (const Piece &piece : pieces) {
        if (piece.kind == Piece::Kind::Macro && !macros.find(lowercase(piece.text))) {
            warnings.push_back(parserWords(piece.line, "warning: undefined macro \"" + piece.text + "\""));
        }
    }
}

std::string BibSyntax::expanded(std::span<Piece> pieces, std::vector<Message> &warnings, bool &tooLong) const
{
    if (pieces.size() == 1 && pieces.front().kind == Piece::Kind::Text) {
        return std::move(pieces.front().text);
    }
    // A macro's text is processed once more where it is expanded, and a
    // value of more than one piece once more when it is pasted.
    std::string text;
    std::string macroText;
    for (const Piece &piece : pieces) {
        std::string_view part = piece.text;
        if (piece.kind == Piece::Kind::Macro) {
            const std::optional<std::string_view> found = macros.find(lowercase(piece.text));
            if (!found) {
                warnings.push_back(
                    parserWords(piece.line, "warning: undefined macro \"" + piece.text + "\""));
            }
            part = found.value_or(std::string_view());
            if (part.find('\r') != std::string_view::npos) {
                macroText = withCarriageReturnsHalved(std::string(part), 1);
                part = macroText;
            }
        }
        if (text.size() + part.size() > limits.valueBytes) {
            tooLong = true;
            return {};
        }
        text += part;
    }
    if (pieces.size() > 1 && text.find('\r') != std::string::npos) {
        return withCarriageReturnsHalved(std::move(text), 1);
    }
    return text;
}

Entry BibSyntax::finish(RawEntry &raw, BibStep &step)
{
    Entry entry;
    entry.type = std::move(raw.type);
    entry.key = std::move(raw.key);
    entry.line = raw.line;
    const bool keepEveryField = step.macroDefinition || entry.type == "preamble";
    // The names are split once the whole entry is read, so what splitting
    // them says comes after everything said about the entry itself.
    std::vector<Message> splitting;
    entry.fields.reserve(raw.fields.size());
    for (RawField &field : raw.fields) {
        const bool kept = keepEveryField || fields.keeps(field.name);
        if (!kept && fields.namesOfTheRest) {
            entry.fields.push_back(Field{field.name, {}, std::nullopt, true});
        }
        if (!kept && !step.macroDefinition) {
            // Its text is never handed on: only what expanding it says.
            warnUndefined(raw.piecesOf(field), step.messages);
            continue;
        }
        bool tooLong = false;
        std::string text = expanded(raw.piecesOf(field), step.messages, tooLong);
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
            entry.fields.push_back(fieldFrom(field.name, collapsedSpaces(std::move(text)), splitting));
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
