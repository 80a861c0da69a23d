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
    void recover(BibStep &step, int line);
    void passOverToNextAt(BibStep &step);
    std::string openingOfEntryFound(const std::string &text);
    std::optional<Entry> readAlone(const std::string &text, int line) const;
    void syntaxError(BibStep &step, std::string_view expected);
    std::string takeToken();
    bool atCloser() const;
    void takeCloser(char closer, BibStep &step);

    SliceCursor &cursor;
    const FieldSelection &fields;
    const std::string &parserName;
    ReadLimits limits;
    MacroTable macros;
    std::size_t junk = 0;
    bool passOverToNextEntry = false;
    // Between an entry's "{" or "(" and its closer: what the parser passes
    // over after an error there ends with the body, or with the input.
    bool inBody = false;
    // The last error found an "@" where the entry should have ended.
    bool foundAt = false;
    bool recovers = true;
    bool started = false; // an entry, or the end, has been read
    bool hiddenAt = false; // an "@" was seen in a comment
    bool entrySeen = false; // an "@" was seen outside comments
    int firstTextLine = 0;
    std::size_t entryBytesAtStart = 0;
    std::string delimitedText; // what readDelimited reads a piece into
    std::unique_ptr<RawEntry> entryRead; // the entry being read
};

} // namespace bibsources::reader
