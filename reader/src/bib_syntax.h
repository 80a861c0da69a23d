#pragma once

#include "bibsources/conversion.h"
#include "entry.h"
#include "helper_command.h"
#include "macro_table.h"
#include "read_limits.h"
#include "slice_cursor.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace bibsources::reader {

// What one read of the next entry gave, as the helper hands on one parser step.
struct BibStep {
    enum class Kind { Entry, Skipped, Nothing };
    Kind kind = Kind::Nothing;
    Entry entry; // for Entry; for Skipped only its line
    bool macroDefinition = false;
    std::vector<Message> messages; // the parser's words during this step, in order
};

// Reads entries one at a time from the cursor: the junk before an entry,
// the entry itself, its values with macros expanded, pasted and their spaces
// collapsed. Macro definitions are remembered for the entries after them.
class BibSyntax {
public:
    BibSyntax(SliceCursor &cursor, const FieldSelection &fields, const std::string &parserName,
        ReadLimits limits = {});
    // Reads one entry's mended text: with these macros, and no recovery of its own.
    BibSyntax(SliceCursor &cursor, const FieldSelection &fields, const std::string &parserName,
        const MacroTable &macros, ReadLimits limits);
    ~BibSyntax();

    // False once only blanks and junk are left.
    bool hasMore();
    BibStep next();

    // The line of the first text outside comments, in an input with not a
    // single "@" outside them (prose, a binary file); 0 for any other.
    int textWithoutEntriesLine() const { return entrySeen ? 0 : firstTextLine; }

private:
    struct Piece;
    struct RawField;
    struct RawEntry;

    bool readEntry(RawEntry &raw, BibStep &step);
    bool readBody(RawEntry &raw, char closer, BibStep &step);
    bool readFields(RawEntry &raw, char closer, BibStep &step);
    bool readValue(std::vector<Piece> &pieces, BibStep &step, std::string_view expectedFirst);
    bool readPiece(std::vector<Piece> &pieces, BibStep &step, std::string_view expected);
    bool readDelimited(std::string &text, char closer, BibStep &step, std::string_view expectedAtEnd);
    bool readComment(char closer, BibStep &step);
    std::string readName();
    // Moves the text out of a value of one piece.
    std::string expanded(std::span<Piece> pieces, std::vector<Message> &warnings, bool &tooLong) const;
    void warnUndefined(std::span<const Piece> pieces, std::vector<Message> &warnings) const;
    // Moves the type, the key and the texts out of raw.
    Entry finish(RawEntry &raw, BibStep &step);
    Field fieldFrom(const std::string &name, std::string text, std::vector<Message> &splitting) const;
    void skipBlanks();
    void skipBlanksIn(BibStep &step);
    void sayJunk(BibStep &step);
    void lookAhead(BibStep &step);
    void recover(BibStep &step, int line);
    void passOverToNextAt(BibStep &step);
    void passOverToken(BibStep &step);
    void warnOfStrangeToken(BibStep &step, std::string_view found, int line) const;
    std::optional<std::string> takeString(char opener, BibStep &step);
    void unbalancedBrace(BibStep &step, int line);
    std::string openingOfEntryFound(const std::string &text);
    std::optional<Entry> readAlone(const std::string &text, int line) const;
    void syntaxError(BibStep &step, std::string_view expected);
    void syntaxErrorAt(BibStep &step, int line, const std::string &found, std::string_view expected);
    std::optional<std::string> takeToken(BibStep &step);
    bool atCloser() const;
    void takeCloser(char closer, BibStep &step);

    SliceCursor &cursor;
    const FieldSelection &fields;
    const std::string &parserName;
    ReadLimits limits;
    MacroTable macros;
    std::size_t junk = 0;
    // What the lexer said between entries, for the step it belongs to.
    std::vector<Message> lexerSaid;
    bool passOverToNextEntry = false;
    // Where the parser's lexer stands in the entry being read: it takes the
    // same bytes differently, and warns of some, by where they come. Within
    // the body (between an entry's "{" or "(" and its closer), what the
    // parser passes over after an error ends with the body, or the input.
    enum class LexState { TopLevel, AfterAt, AfterType, InBody };
    LexState lexState = LexState::TopLevel;
    // What closes the body the lexer is in, by the byte that opened it.
    char bodyCloser = '}';
    // The error came where the entry's type was expected: the parser made
    // no entry of it, so nothing is skipped and nothing recovered.
    bool typeMissing = false;
    // The lexer found a string it could not read cleanly; the parser goes on
    // reading the entry, and then skips it.
    bool lexicalError = false;
    // The last error found an "@" where the entry should have ended.
    bool foundAt = false;
    bool recovers = true;
    bool started = false; // an entry, or the end, has been read
    bool restarted = false; // reading goes on behind a recovered entry
    bool hiddenAt = false; // an "@" was seen in a comment
    bool entrySeen = false; // an "@" was seen outside comments
    int firstTextLine = 0;
    std::size_t entryBytesAtStart = 0;
    std::string delimitedText; // what readDelimited reads a piece into
    bool carriageReturnKept = false; // readDelimited kept one in it
    std::unique_ptr<RawEntry> entryRead; // the entry being read
};

} // namespace bibsources::reader
