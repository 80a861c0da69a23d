#include "tex_text.h"

#include "combining_mark.h"
#include "tex_commands.h"
#include "tex_math.h"
#include "utf8_cursor.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace bibsources {

namespace {

constexpr uint32_t noPartner = UINT32_MAX;

// What becomes of the two braces of a group: nothing, themselves, or the
// marks a command puts around its text.
enum class BraceAction : uint8_t { Drop, Keep, Quote, Parens, Brackets };

// An accent whose argument holds another accented group, or a command whose
// text argument is read before what follows it, recurses once per level;
// deeper than this, the argument is read as plain groups or kept as written,
// so no input can exhaust the stack.
constexpr int maxAccentDepth = 16;

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The bytes at which plain text stops and the reader has to look closer; a
// table, as this is asked once for every byte of every field.
constexpr std::array<bool, 256> specialBytes = [] {
    std::array<bool, 256> table{};
    for (const char c : std::string_view("\\{}$~-`'")) {
        table[static_cast<unsigned char>(c)] = true;
    }
    return table;
}();

bool needsReading(char c)
{
    return specialBytes[static_cast<unsigned char>(c)];
}

// For every brace, the position of the brace that closes or opens its group,
// or noPartner when it has none. Escaped braces (\{ and \}) are text and
// have no entry, the same way the reader steps over them.
std::vector<uint32_t> matchBraces(std::string_view text)
{
    std::vector<uint32_t> partner(text.size(), noPartner);
    std::vector<uint32_t> open;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '{') {
            open.push_back(uint32_t(i));
        } else if (text[i] == '}' && !open.empty()) {
            partner[i] = open.back();
            partner[open.back()] = uint32_t(i);
            open.pop_back();
        }
    }
    return partner;
}

// One conversion. Positions are byte offsets into the input; every read
// function appends the text of what it read and returns where reading goes
// on, so each input byte is looked at a bounded number of times.
class TexReader {
public:
    explicit TexReader(std::string_view input)
        : input(input)
        , partner(matchBraces(input))
    {
        output.reserve(input.size());
    }

    std::string convert() &&
    {
        readRange(0, input.size(), 0);
        return separateKeptCommands();
    }

private:
    // The end of the group that opens at `position` when it closes before
    // `end`, else noPartner.
    size_t groupEnd(size_t position, size_t end) const
    {
        if (position >= end || input[position] != '{' || partner[position] == noPartner) {
            return noPartner;
        }
        return partner[position] < end ? partner[position] : noPartner;
    }

    size_t skipBlanks(size_t position, size_t end) const
    {
        while (position < end && isBlank(input[position])) {
            ++position;
        }
        return position;
    }

    size_t keepAsWritten(size_t from, size_t to)
    {
        output.append(input, from, to - from);
        return to;
    }

    void readRange(size_t position, size_t end, int depth)
    {
        while (position < end) {
            position = readOne(position, end, depth);
        }
    }

    size_t readOne(size_t position, size_t end, int depth)
    {
        const char c = input[position];
        const auto next
            = [&](size_t offset) { return position + offset < end ? input[position + offset] : '\0'; };
        switch (c) {
        case '\\':
            return readCommand(position, end, depth);
        case '$':
            return readMath(position, end);
        case '{':
        case '}':
            readBrace(position);
            return position + 1;
        case '~':
            output += "\u00A0";
            return position + 1;
        case '-':
            if (next(1) == '-' && next(2) == '-') {
                output += "\u2014";
                return position + 3;
            }
            if (next(1) == '-') {
                output += "\u2013";
                return position + 2;
            }
            break;
        case '`':
        case '\'':
            if (next(1) == c) {
                output += c == '`' ? "\u201C" : "\u201D";
                return position + 2;
            }
            return readSingleQuote(position);
        default: {
            size_t stop = position + 1;
            while (stop < end && !needsReading(input[stop])) {
                ++stop;
            }
            return keepAsWritten(position, stop);
        }
        }
        output += c;
        return position + 1;
    }

    // TeX prints ` as an opening single quote; a ' closes it, and elsewhere
    // stays as typed, since it is most often an apostrophe (O'Brien).
    size_t readSingleQuote(size_t position)
    {
        if (input[position] == '`') {
            output += "\u2018";
            singleQuoteOpen = true;
        } else if (singleQuoteOpen) {
            output += "\u2019";
            singleQuoteOpen = false;
        } else {
            output += '\'';
        }
        return position + 1;
    }

    // A brace that closes nothing or opens what never closes is text; one
    // of a group goes, unless the group belongs to a command kept as written
    // or stands for quotation marks.
    void readBrace(size_t position)
    {
        const char brace = input[position];
        const BraceAction action = braceActions.empty() ? BraceAction::Drop : braceActions[position];
        if (partner[position] == noPartner || action == BraceAction::Keep) {
            output += brace;
        } else if (action == BraceAction::Quote) {
            output += brace == '{' ? "\u201C" : "\u201D";
        } else if (action == BraceAction::Parens) {
            output += brace == '{' ? '(' : ')';
        } else if (action == BraceAction::Brackets) {
            output += brace == '{' ? '[' : ']';
        }
    }

    size_t readCommand(size_t position, size_t end, int depth)
    {
        size_t after = position + 1;
        while (after < end && isLetter(input[after])) {
            ++after;
        }
        if (after > position + 1) {
            return readWord(position, after, end, depth);
        }
        if (after >= end || static_cast<unsigned char>(input[after]) >= 0x80) {
            return keepAsWritten(position, position + 1);
        }
        return readSymbol(position, after + 1, end, depth);
    }

    // A control word, \name, whose name ends before `after`.
    size_t readWord(size_t position, size_t after, size_t end, int depth)
    {
        const std::string_view name = input.substr(position + 1, after - position - 1);
        if (!accentMarks(name).empty()) {
            return readAccent(position, after, end, name, depth);
        }
        if (const std::string_view text = textCommand(name); !text.empty()) {
            output += text;
            return skipBlanks(after, end);
        }
        if (const std::optional<Primitive> kind = primitive(name)) {
            return readPrimitive(*kind, after, end, depth);
        }
        if (isFontCommand(name)) {
            return skipBlanks(after, end);
        }
        return readCommandWithArguments(position, after, end, name, depth);
    }

    // A TeX primitive and what follows it that is not text: its dimension,
    // glue or number; what it moves or boxes is read as text after it.
    size_t readPrimitive(Primitive kind, size_t after, size_t end, int depth)
    {
        switch (kind) {
        case Primitive::Dimension:
            return skipDimension(after, end);
        case Primitive::Glue:
            return skipGlue(after, end);
        case Primitive::Number:
            return skipNumber(after, end).first;
        case Primitive::Box: {
            size_t at = skipBlanks(after, end);
            for (const std::string_view keyword : {"to", "spread"}) {
                if (input.substr(at, keyword.size()) == keyword) {
                    return skipDimension(at + keyword.size(), end);
                }
            }
            return at;
        }
        case Primitive::Accent: {
            const auto [stop, number] = skipNumber(after, end);
            const std::string_view name = numberedAccent(number);
            if (name.empty() || stop == after) {
                return stop;
            }
            return readAccent(after, stop, end, name, depth);
        }
        }
        return after;
    }

    // A number as TeX reads one after \penalty or \accent: signs, then
    // decimal digits, "hex, 'octal or `c (a character's code). Returns where
    // it ends and its value (-1 when there is none).
    std::pair<size_t, int> skipNumber(size_t at, size_t end) const
    {
        while (at < end && (isBlank(input[at]) || input[at] == '-' || input[at] == '+')) {
            ++at;
        }
        if (at + 1 < end && input[at] == '`') {
            // All of the character's bytes are read; one beyond ASCII names
            // no accent, so its first byte is value enough.
            const size_t character = input[at + 1] == '\\' && at + 2 < end ? at + 2 : at + 1;
            const size_t stop = std::min(end, nextCharacter(input, character));
            return {skipBlanks(stop, end), static_cast<unsigned char>(input[character])};
        }
        int base = 10;
        if (at < end && (input[at] == '"' || input[at] == '\'')) {
            base = input[at++] == '"' ? 16 : 8;
        }
        int value = -1;
        while (at < end) {
            const char c = input[at];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : base;
            if (digit >= base) {
                break;
            }
            value = std::min(65536, std::max(value, 0) * base + digit);
            ++at;
        }
        return {at < end && input[at] == ' ' ? at + 1 : at, value};
    }

    // A dimension: signs, then a number and a unit ("-.1667em", "3 pt",
    // "1true in") or a number and a register (".5\baselineskip"), or a
    // register alone.
    size_t skipDimension(size_t at, size_t end) const
    {
        while (at < end && (isBlank(input[at]) || input[at] == '-' || input[at] == '+')) {
            ++at;
        }
        const size_t number = at;
        while (at < end && ((input[at] >= '0' && input[at] <= '9') || input[at] == '.' || input[at] == ',')) {
            ++at;
        }
        at = skipBlanks(at, end);
        if (at < end && input[at] == '\\') {
            size_t stop = at + 1;
            while (stop < end && isLetter(input[stop])) {
                ++stop;
            }
            return stop > at + 1 ? skipBlanks(stop, end) : at;
        }
        if (at == number) {
            return at;
        }
        if (input.substr(at, 4) == "true") {
            at = skipBlanks(at + 4, end);
        }
        size_t unit = at;
        while (unit < end && unit < at + 5 && isLetter(input[unit])) {
            ++unit;
        }
        // "fil", "fill" and "filll" are glue's units, the others TeX's.
        const std::string_view name = input.substr(at, unit - at);
        static constexpr std::string_view units[] = {"pt", "pc", "in", "bp", "cm", "mm", "dd", "cc", "sp",
            "em", "ex", "mu", "px", "fil", "fill", "filll"};
        for (const std::string_view known : units) {
            if (name == known) {
                return unit < end && input[unit] == ' ' ? unit + 1 : unit;
            }
        }
        return name.size() >= 2 && std::ranges::find(units, name.substr(0, 2)) != std::end(units) ? at + 2
                                                                                                  : at;
    }

    // Glue: a dimension, then perhaps "plus" and "minus" ones.
    size_t skipGlue(size_t at, size_t end) const
    {
        at = skipDimension(at, end);
        for (const std::string_view keyword : {"plus", "minus"}) {
            const size_t word = skipBlanks(at, end);
            if (input.substr(word, keyword.size()) == keyword) {
                at = skipDimension(word + keyword.size(), end);
            }
        }
        return at;
    }

    size_t readCommandWithArguments(
        size_t position, size_t after, size_t end, std::string_view name, int depth)
    {
        const size_t argument = skipBlanks(after, end);
        const size_t argumentEnd = groupEnd(argument, end);
        if (isLinkCommand(name)) {
            return readLink(position, after, end);
        }
        if (name == "href" && argumentEnd != noPartner) {
            const size_t text = skipBlanks(argumentEnd + 1, end);
            if (groupEnd(text, end) != noPartner) {
                return text; // the group is read as any other: its braces go, its text stays
            }
        }
        if (argumentEnd != noPartner && readWholeGroup(name, argument + 1, argumentEnd)) {
            return argumentEnd + 1;
        }
        // The sort-key idiom: "@preamble{\newcommand{\noopsort}[1]{}}" makes
        // {\noopsort{a}}Zed sort as "a" and print as "Zed".
        if ((name == "noopsort" || name == "sortnoop" || name == "SortNoop") && argumentEnd != noPartner) {
            return argumentEnd + 1;
        }
        if (argumentEnd != noPartner) {
            if (const std::optional<BraceAction> marks = marksAround(name)) {
                setBraceAction(argument, argumentEnd, *marks);
                return argument;
            }
        }
        if (const std::optional<ArgumentShape> shape = argumentShape(name)) {
            return readShaped(*shape, after, end, depth);
        }
        return readUnknown(position, after, end);
    }

    static std::optional<BraceAction> marksAround(std::string_view name)
    {
        if (name == "enquote" || name == "mkbibquote") {
            return BraceAction::Quote;
        }
        if (name == "mkbibparens") {
            return BraceAction::Parens;
        }
        if (name == "mkbibbrackets") {
            return BraceAction::Brackets;
        }
        // Raised or lowered text that Unicode has no characters for is
        // written plain: "19th", not the command.
        if (isScriptCommand(name)) {
            return BraceAction::Drop;
        }
        return std::nullopt;
    }

    static bool isScriptCommand(std::string_view name)
    {
        return name == "textsuperscript" || name == "textsubscript" || name == "mkbibsuperscript"
            || name == "mkbibsubscript";
    }

    // Passes over a "*" and "[...]" arguments, which no command here prints.
    size_t skipOptional(size_t at, size_t end) const
    {
        at = skipBlanks(at, end);
        if (at < end && input[at] == '*') {
            at = skipBlanks(at + 1, end);
        }
        while (at < end && input[at] == '[') {
            const size_t close = input.substr(0, end).find(']', at);
            if (close == std::string_view::npos) {
                return at;
            }
            at = skipBlanks(close + 1, end);
        }
        return at;
    }

    // A command of known shape: the arguments it passes over go, the one it
    // prints is read as text. Missing arguments end it where they are.
    size_t readShaped(const ArgumentShape &shape, size_t after, size_t end, int depth)
    {
        size_t at = skipOptional(after, end);
        for (int i = 0; i < shape.droppedBefore; ++i) {
            const size_t close = groupEnd(at, end);
            if (close == noPartner) {
                return at;
            }
            at = skipOptional(close + 1, end);
        }
        if (!shape.printsText) {
            return at;
        }
        const size_t textEnd = groupEnd(at, end);
        if (textEnd == noPartner || shape.droppedAfter == 0 || depth >= maxAccentDepth) {
            return at;
        }
        // The text is read here, so that what comes after it can be passed over.
        readRange(at + 1, textEnd, depth + 1);
        size_t next = textEnd + 1;
        for (int i = 0; i < shape.droppedAfter; ++i) {
            const size_t close = groupEnd(skipBlanks(next, end), end);
            if (close == noPartner) {
                break;
            }
            next = close + 1;
        }
        return next;
    }

    // A command this reader does not know. With braced arguments that hold
    // text it goes and their text stays (\acro{TUG} is "TUG"), which is what
    // such a command most often prints; without, it is kept as written.
    size_t readUnknown(size_t position, size_t after, size_t end)
    {
        const size_t first = skipBlanks(after, end);
        bool holdsText = false;
        for (size_t open = first, close = groupEnd(open, end); close != noPartner;
             open = skipBlanks(close + 1, end), close = groupEnd(open, end)) {
            holdsText = holdsText || close > open + 1;
        }
        if (holdsText) {
            return first;
        }
        return keepUnknown(position, after, end);
    }

    // The commands whose group is converted as a whole or not at all:
    // \ensuremath{...} as math, \textsuperscript{2} and \textsubscript{2}
    // when every character of the group can be raised or lowered.
    bool readWholeGroup(std::string_view name, size_t from, size_t to)
    {
        const std::string_view group = input.substr(from, to - from);
        if (name == "ensuremath") {
            return appendMath(output, group);
        }
        if (!isScriptCommand(name)) {
            return false;
        }
        const bool raised = name.ends_with("superscript");
        const size_t start = output.size();
        for (const char c : group) {
            const std::string_view shifted = raised ? superscript(c) : subscript(c);
            if (shifted.empty()) {
                output.resize(start);
                return false;
            }
            output += shifted;
        }
        return !group.empty();
    }

    // An unknown command stays as written, with the empty groups right
    // behind it ("\TUB{}"), which end its name.
    size_t keepUnknown(size_t position, size_t after, size_t end)
    {
        keepAsWritten(position, after);
        keptEnds.push_back(output.size());
        for (size_t open = after, close = groupEnd(open, end); close != noPartner;
             open = close + 1, close = groupEnd(open, end)) {
            setBraceAction(open, close, BraceAction::Keep);
        }
        return after;
    }

    // A kept control word ends where its letters end: "{\Dash}an" or
    // "\Bib\LaTeX" must not become "\Dashan" or "\BibLaTeX", another
    // command, once the braces go or the next command is read. An empty
    // group goes between, which TeX reads as the same.
    std::string separateKeptCommands()
    {
        if (std::ranges::none_of(
                keptEnds, [&](size_t at) { return at < output.size() && isLetter(output[at]); })) {
            return std::move(output);
        }
        std::string separated;
        separated.reserve(output.size() + 2 * keptEnds.size());
        size_t from = 0;
        for (const size_t at : keptEnds) {
            if (at < output.size() && isLetter(output[at])) {
                separated.append(output, from, at - from).append("{}");
                from = at;
            }
        }
        return separated.append(output, from);
    }

    void setBraceAction(size_t open, size_t close, BraceAction action)
    {
        if (braceActions.empty()) {
            braceActions.resize(input.size(), BraceAction::Drop);
        }
        braceActions[open] = action;
        braceActions[close] = action;
    }

    // A control symbol, \ and one ASCII character, ending before `after`.
    size_t readSymbol(size_t position, size_t after, size_t end, int depth)
    {
        const char symbol = input[position + 1];
        if (const std::string_view name = input.substr(position + 1, 1); !accentMarks(name).empty()) {
            return readAccent(position, after, end, name, depth);
        }
        switch (symbol) {
        case '&':
        case '%':
        case '$':
        case '#':
        case '_':
        case '{':
        case '}':
            output += symbol;
            break;
        case '-':
        case '/':
        case '@':
        case '!':
            break; // a hyphenation hint, an italic correction, a full stop's space, a negative space
        case ',':
            output += "\u2009";
            break;
        case ' ':
        case '\t':
        case '\n':
        case '\r':
        case ':':
        case ';':
        case '\\':
            output += ' ';
            break;
        default:
            return keepAsWritten(position, position + 1);
        }
        return after;
    }

    // An accent command from `position` to `after`, and its argument: one
    // character, a special letter command (\i) or a group.
    size_t readAccent(size_t position, size_t after, size_t end, std::string_view name, int depth)
    {
        const size_t argument = skipBlanks(after, end);
        if (argument >= end) {
            return keepAsWritten(position, after);
        }
        const size_t start = output.size();
        size_t stop = argument;
        if (input[argument] == '{') {
            const size_t close = groupEnd(argument, end);
            if (close == noPartner) {
                return keepAsWritten(position, after);
            }
            if (depth >= maxAccentDepth) {
                return keepAsWritten(position, close + 1);
            }
            readRange(argument + 1, close, depth + 1);
            stop = close + 1;
            if (output.size() == start) {
                output += spacingAccent(name);
                return stop;
            }
        } else if (input[argument] == '\\') {
            size_t nameEnd = argument + 1;
            while (nameEnd < end && isLetter(input[nameEnd])) {
                ++nameEnd;
            }
            const std::string_view base = accentBase(input.substr(argument + 1, nameEnd - argument - 1));
            if (base.empty()) {
                return keepAsWritten(position, after);
            }
            output += base;
            stop = skipBlanks(nameEnd, end);
        } else if (needsReading(input[argument])) {
            return keepAsWritten(position, after);
        } else {
            stop = std::min(end, nextCharacter(input, argument));
            output.append(input, argument, stop - argument);
        }
        const std::u32string_view marks = accentMarks(name);
        if (!std::ranges::all_of(
                marks, [&](char32_t mark) { return addCombiningMark(output, start, mark); })) {
            output.resize(start);
            std::erase_if(keptEnds, [start](size_t at) { return at > start; });
            return keepAsWritten(position, stop);
        }
        return stop;
    }

    // A link command and its argument, \url{...} or \url|...| with any
    // delimiter, whose text is kept as written except that escaped specials
    // (\%, \#, \_, \&, \~, \$, \{, \}) lose their backslash.
    size_t readLink(size_t position, size_t after, size_t end)
    {
        size_t open = skipBlanks(after, end);
        size_t close = groupEnd(open, end);
        if (close == noPartner && after < end
            && std::string_view("|!+=@\"").find(input[after]) != std::string_view::npos) {
            open = after;
            const size_t found = input.substr(0, end).find(input[after], after + 1);
            close = found == std::string_view::npos ? noPartner : found;
        }
        if (close == noPartner) {
            return keepUnknown(position, after, end);
        }
        for (size_t i = open + 1; i < close; ++i) {
            if (input[i] == '\\' && i + 1 < close
                && std::string_view("%#_&~${}").find(input[i + 1]) != std::string_view::npos) {
                ++i;
            }
            output += input[i];
        }
        return close + 1;
    }

    // The position of the "$" that closes math opened before `from`, or
    // noPartner; an escaped \$ closes nothing.
    size_t mathEnd(size_t from, size_t end) const
    {
        for (size_t i = from; i < end; ++i) {
            if (input[i] == '\\') {
                ++i;
            } else if (input[i] == '$') {
                return i;
            }
        }
        return noPartner;
    }

    size_t readMath(size_t position, size_t end)
    {
        const size_t close = mathEnd(position + 1, end);
        if (close == noPartner) {
            return keepAsWritten(position, position + 1);
        }
        if (!appendMath(output, input.substr(position + 1, close - position - 1))) {
            return keepAsWritten(position, close + 1);
        }
        return close + 1;
    }

    std::string_view input;
    std::vector<uint32_t> partner;
    std::vector<BraceAction> braceActions; // empty while every group's braces go
    std::vector<size_t> keptEnds; // where in the output a kept command's name ends
    bool singleQuoteOpen = false;
    std::string output;
};

} // namespace

std::string texToText(std::string_view utf8)
{
    // Positions are 32 bits to keep the brace table small; no field comes
    // near 4 GiB, the parser refuses far smaller ones.
    if (std::ranges::none_of(utf8, needsReading) || utf8.size() >= noPartner) {
        return std::string(utf8);
    }
    return TexReader(utf8).convert();
}

std::vector<std::string_view> commandsLeftIn(std::string_view text)
{
    std::vector<std::string_view> commands;
    for (size_t at = text.find('\\'); at != std::string_view::npos; at = text.find('\\', at)) {
        size_t after = at + 1;
        while (after < text.size() && isLetter(text[after])) {
            ++after;
        }
        if (after > at + 1) {
            commands.push_back(text.substr(at, after - at));
        }
        at = std::max(after, at + 2);
    }
    return commands;
}

} // namespace bibsources
