#include "tex_text.h"

#include "combining_mark.h"
#include "tex_commands.h"
#include "tex_math.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace bibsources {

namespace {

constexpr uint32_t noPartner = UINT32_MAX;

// What becomes of the two braces of a group.
enum class BraceAction : uint8_t { Drop, Keep, Quote };

// An accent whose argument holds another accented group recurses once per
// level; deeper than this, the argument is kept as written, so no input can
// exhaust the stack.
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

size_t codePointLength(char lead)
{
    const auto c = static_cast<unsigned char>(lead);
    return c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
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
        return std::move(output);
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
            break;
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
        if (accentMark(name)) {
            return readAccent(position, after, end, name, depth);
        }
        if (const std::string_view text = textCommand(name); !text.empty()) {
            output += text;
            return skipBlanks(after, end);
        }
        if (isFontCommand(name)) {
            return skipBlanks(after, end);
        }
        return readCommandWithArguments(position, after, end, name);
    }

    size_t readCommandWithArguments(size_t position, size_t after, size_t end, std::string_view name)
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
        if ((name == "enquote" || name == "mkbibquote") && argumentEnd != noPartner) {
            setBraceAction(argument, argumentEnd, BraceAction::Quote);
            return argument;
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
        if (name != "textsuperscript" && name != "textsubscript") {
            return false;
        }
        const size_t start = output.size();
        for (const char c : group) {
            const std::string_view shifted = name == "textsuperscript" ? superscript(c) : subscript(c);
            if (shifted.empty()) {
                output.resize(start);
                return false;
            }
            output += shifted;
        }
        return !group.empty();
    }

    // An unknown command stays as written, with the groups right behind it,
    // which are its arguments and mean nothing without it; what is inside
    // them is read as any text.
    size_t keepUnknown(size_t position, size_t after, size_t end)
    {
        keepAsWritten(position, after);
        if (groupEnd(after, end) == noPartner) {
            separateFromLetters(after);
        }
        for (size_t open = after, close = groupEnd(open, end); close != noPartner;
             open = close + 1, close = groupEnd(open, end)) {
            setBraceAction(open, close, BraceAction::Keep);
        }
        return after;
    }

    // A kept control word ends where its letters end: "{\Dash}an" must not
    // become "\Dashan", another command, when the braces after it go.
    void separateFromLetters(size_t after)
    {
        size_t next = after;
        while (next < input.size() && input[next] == '}' && partner[next] != noPartner
            && (braceActions.empty() || braceActions[next] == BraceAction::Drop)) {
            ++next;
        }
        if (next > after && next < input.size() && isLetter(input[next])) {
            output += "{}";
        }
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
        if (const std::string_view name = input.substr(position + 1, 1); accentMark(name)) {
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
            stop = std::min(end, argument + codePointLength(input[argument]));
            output.append(input, argument, stop - argument);
        }
        if (!addCombiningMark(output, start, *accentMark(name))) {
            output.resize(start);
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
