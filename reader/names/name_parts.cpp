#include "name_parts.h"

#include "lowercase_start.h"
#include "name_list.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

namespace bibsources {

namespace {

// Space, or tab, line break, vertical tab, form feed or carriage return,
// which stand together from 9 to 13.
bool isWhiteSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Where the parser has removed commas past the second it also drops each
// carriage return, keeping the character after one unexamined, whatever it
// is, even the end of the text: it then goes on over what lies beyond,
// until it examines a NUL. `buffer` is the parser's whole buffer, which ends
// in a NUL; past it the parser reads memory it does not own, read as NULs
// here.
struct DroppedReturns {
    std::string buffer;
    bool readPastBuffer = false;
};

DroppedReturns withoutCarriageReturns(std::string buffer)
{
    const auto at = [&buffer](size_t i) { return i < buffer.size() ? buffer[i] : '\0'; };
    size_t written = 0;
    size_t read = 0;
    while (at(read) != '\0') {
        if (at(read) == '\r') {
            ++read;
        }
        buffer[written++] = at(read++);
    }
    const bool readPastBuffer = read >= buffer.size();
    if (written < buffer.size()) {
        buffer[written] = '\0';
    }
    return DroppedReturns{std::move(buffer), readPastBuffer};
}

// What the parser puts before its warnings about a name: the name's number
// from the second name on. Made only for a warning.
std::string warningPrefix(size_t number)
{
    return number > 0 ? "name " + std::to_string(number) + ", " : std::string();
}

// The name with its white space shrunk and its extra commas gone.
struct ShrunkName {
    std::string text;
    int commas = 0; // as the parser counts them: every one outside braces, less those dropped at the end
    std::string diagnostics;
    bool tooManyCommas = false;
    bool readsPastName = false;
};

// A run of white space keeps its first character; a comma swallows the
// white space before it and after it. A comma past the second becomes a
// space, and a comma after a comma takes its place (both still count).
ShrunkName shrinkSpaces(std::string_view name, size_t number)
{
    ShrunkName shrunk;
    // Each byte read writes one byte at most: the text is written in place
    // (through a span, which the compiler knows no written byte can change)
    // and cut to its length at the end.
    shrunk.text.resize(name.size());
    const std::span<char> out(shrunk.text);
    size_t length = 0;
    int depth = 0;
    bool afterSpace = true; // so leading white space vanishes
    for (const char c : name) {
        if (c == '{') {
            ++depth;
        } else if (c == '}' && depth == 0) {
            shrunk.diagnostics += warningPrefix(number) + unmatchedBraceWarning('}');
        } else if (c == '}') {
            --depth;
        } else if (c == ',' && depth == 0) {
            ++shrunk.commas;
            if (shrunk.commas > 2 && !shrunk.tooManyCommas) {
                shrunk.diagnostics
                    += warningPrefix(number) + "warning: too many commas in name (removing extras)\n";
                shrunk.tooManyCommas = true;
            }
            const char written = shrunk.commas > 2 ? ' ' : ',';
            if (afterSpace && length > 0) {
                out[length - 1] = written;
            } else {
                out[length++] = written;
            }
            afterSpace = true;
            continue;
        }
        if (!(isWhiteSpace(c) && afterSpace)) {
            out[length++] = c;
            afterSpace = isWhiteSpace(c);
        }
    }
    shrunk.text.resize(length);
    if (depth > 0) {
        shrunk.diagnostics += warningPrefix(number) + unmatchedBraceWarning('{');
    }
    return shrunk;
}

// The parser shrinks the name in place, in a copy of it: past the shrunk
// text and its NUL the rest of the name is still there, then the copy's NUL.
std::string parserBuffer(const std::string &shrunk, std::string_view name)
{
    std::string buffer = shrunk + '\0';
    if (shrunk.size() + 1 < name.size()) {
        buffer += name.substr(shrunk.size() + 1);
    }
    if (shrunk.size() < name.size()) {
        buffer += '\0';
    }
    return buffer;
}

// Commas at the end of the shrunk text go, each counted off.
void dropFinalCommas(ShrunkName &shrunk, size_t number)
{
    if (shrunk.commas > 0 && !shrunk.text.empty() && shrunk.text.back() == ',') {
        shrunk.diagnostics += warningPrefix(number) + "warning: comma(s) at end of name (removing)\n";
        while (!shrunk.text.empty() && shrunk.text.back() == ',') {
            shrunk.text.pop_back();
            --shrunk.commas;
        }
    }
}

ShrunkName shrink(std::string_view name, size_t number)
{
    ShrunkName shrunk = shrinkSpaces(name, number);
    if (!shrunk.tooManyCommas && shrunk.text.find('\0') == std::string::npos) {
        // The parser's buffer then holds the shrunk text up to its NUL, and
        // nothing past that is read.
        dropFinalCommas(shrunk, number);
        return shrunk;
    }
    const size_t shrunkEnd = shrunk.text.size();
    std::string buffer = parserBuffer(shrunk.text, name);
    if (shrunk.tooManyCommas) {
        DroppedReturns dropped = withoutCarriageReturns(std::move(buffer));
        shrunk.readsPastName = dropped.readPastBuffer;
        buffer = std::move(dropped.buffer);
    }
    // Commas at the end are sought where the shrunk text ended, even when
    // dropped carriage returns have moved the end since.
    if (shrunk.commas > 0 && shrunkEnd > 0 && buffer[shrunkEnd - 1] == ',') {
        shrunk.diagnostics += warningPrefix(number) + "warning: comma(s) at end of name (removing)\n";
        size_t at = shrunkEnd - 1;
        do {
            buffer[at] = '\0';
            --shrunk.commas;
        } while (at-- > 0 && buffer[at] == ',');
    }
    shrunk.text = buffer.substr(0, buffer.find('\0'));
    return shrunk;
}

// The words of a shrunk name, cut at spaces and commas outside braces, and
// after which word each such comma stands. A cut at the very start leaves
// a word of its own, empty (nullopt).
struct Words {
    std::vector<std::optional<std::string_view>> words;
    std::vector<int> commaAfter;
    std::string diagnostics;
};

Words wordsOf(std::string_view text, size_t number)
{
    Words found;
    found.words.reserve(4);
    int depth = 0;
    bool atWordStart = true;
    size_t wordStart = 0;
    const auto endWord = [&](size_t end) {
        if (!atWordStart) {
            found.words.back() = text.substr(wordStart, end - wordStart);
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (depth > 0) {
            depth += c == '{' ? 1 : c == '}' ? -1 : 0;
            continue;
        }
        if (atWordStart) {
            found.words.emplace_back(std::nullopt);
            wordStart = i;
        }
        if (c == ' ' || c == ',') {
            if (c == ',') {
                found.commaAfter.push_back(static_cast<int>(found.words.size()) - 1);
            }
            endWord(i);
            atWordStart = true;
            continue;
        }
        atWordStart = false;
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            found.diagnostics += warningPrefix(number) + unmatchedBraceWarning('}');
        }
    }
    endWord(text.size());
    if (depth > 0) {
        found.diagnostics += warningPrefix(number) + unmatchedBraceWarning('{');
    }
    return found;
}

bool isLowercase(const std::optional<std::string_view> &word)
{
    return word && startsLowercase(*word);
}

// The first run of lowercase words, over all the words whatever the commas:
// [first, last], or nullopt.
struct WordRun {
    int first;
    int last;
};

std::optional<WordRun> firstLowercaseRun(const std::vector<std::optional<std::string_view>> &words)
{
    const int count = static_cast<int>(words.size());
    for (int i = 0; i < count; ++i) {
        if (isLowercase(words[i])) {
            int last = i;
            while (last + 1 < count && isLowercase(words[last + 1])) {
                ++last;
            }
            return WordRun{i, last};
        }
    }
    return std::nullopt;
}

std::vector<std::string> wordRange(
    const std::vector<std::optional<std::string_view>> &words, int from, int count)
{
    std::vector<std::string> range;
    range.reserve(static_cast<size_t>(std::max(count, 0)));
    for (int i = from; i < from + count; ++i) {
        range.emplace_back(words[i] ? std::string(*words[i]) : std::string());
    }
    return range;
}

Person withoutCommas(const std::vector<std::optional<std::string_view>> &words, std::optional<WordRun> von)
{
    const int count = static_cast<int>(words.size());
    if (!von) {
        return Person{wordRange(words, count - 1, 1), wordRange(words, 0, count - 1)};
    }
    // A lowercase run that reaches the end leaves its final word the Last part.
    const int lastStart = von->last == count - 1 ? count - 1 : von->last + 1;
    return Person{wordRange(words, lastStart, count - lastStart), wordRange(words, 0, von->first),
        wordRange(words, von->first, lastStart - von->first)};
}

// `commaAfter` holds one place per comma counted, one or two.
Person withCommas(const std::vector<std::optional<std::string_view>> &words, std::optional<WordRun> von,
    std::span<const int> commaAfter)
{
    const int count = static_cast<int>(words.size());
    const int firstComma = commaAfter[0];
    // von only from the first word; it leaves the word before the comma to Last.
    int vonLength = 0;
    int vonEnd = -1;
    if (von && von->first == 0) {
        vonLength = von->last == firstComma ? von->last : von->last + 1;
        vonEnd = von->last == firstComma ? von->last - 1 : von->last;
    }
    const int lastLength = std::max(firstComma - vonEnd, 0);
    const int firstStart = commaAfter.back() + 1;
    Person person{wordRange(words, vonLength, lastLength), wordRange(words, firstStart, count - firstStart),
        wordRange(words, 0, vonLength)};
    if (commaAfter.size() == 2) {
        person.jr = wordRange(words, firstComma + 1, commaAfter[1] - firstComma);
    }
    return person;
}

} // namespace

NameParts splitNameParts(std::string_view name, size_t number)
{
    const size_t start = std::min(name.find_first_not_of(" \t\n\v\f\r"), name.size());
    ShrunkName shrunk = shrink(name.substr(start), number);
    Words words = wordsOf(shrunk.text, number);
    NameParts parts{Person{}, shrunk.diagnostics + words.diagnostics};
    parts.readsPastName = shrunk.readsPastName;
    if (shrunk.text.empty() || shrunk.text[0] == ' ' || shrunk.text[0] == ',') {
        return parts;
    }
    const std::optional<WordRun> von = firstLowercaseRun(words.words);
    // Commas dropped at the end inside an open brace still count off: a
    // count below zero is the parser's too, but it then reads comma places
    // it never wrote. Here the commas are those left in the text.
    const size_t kept = words.commaAfter.size();
    const size_t commas
        = shrunk.commas < 0 ? std::min(kept, size_t{2}) : static_cast<size_t>(std::min(shrunk.commas, 2));
    parts.commasMiscounted = shrunk.commas < 0 || kept < commas;
    if (commas == 0) {
        parts.person = withoutCommas(words.words, von);
        return parts;
    }
    // Commas that ran together were counted but left one place: the parser
    // then reads places it never wrote. Here a missing place is the last
    // one kept, or the final word: the parts it bounds are empty.
    std::array<int, 2> commaAfter{};
    const size_t placed = std::min(commas, kept);
    std::copy_n(words.commaAfter.begin(), placed, commaAfter.begin());
    for (size_t i = placed; i < commas; ++i) {
        commaAfter[i] = i == 0 ? static_cast<int>(words.words.size()) - 1 : commaAfter[i - 1];
    }
    parts.person = withCommas(words.words, von, std::span<const int>(commaAfter).first(commas));
    return parts;
}

} // namespace bibsources
