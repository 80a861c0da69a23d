#include "tex_math.h"

#include "combining_mark.h"
#include "tex_commands.h"
#include "utf8_cursor.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace bibsources {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Commands that only size the delimiter after them.
bool isDelimiterSize(std::string_view name)
{
    constexpr std::string_view sizes[] = {"Big", "Bigg", "Biggl", "Biggr", "Bigl", "Bigr", "big", "bigg",
        "biggl", "biggr", "bigl", "bigr", "left", "middle", "right"};
    return std::ranges::find(sizes, name) != std::end(sizes);
}

struct MathAccent {
    std::string_view name;
    char32_t mark;
};

// Accents over one symbol; \overline also spans a group, one mark a character.
constexpr MathAccent mathAccents[] = {
    {"acute", 0x0301},
    {"bar", 0x0304},
    {"breve", 0x0306},
    {"check", 0x030C},
    {"ddot", 0x0308},
    {"dot", 0x0307},
    {"grave", 0x0300},
    {"hat", 0x0302},
    {"overline", 0x0305},
    {"tilde", 0x0303},
    {"vec", 0x20D7},
    {"widehat", 0x0302},
    {"widetilde", 0x0303},
};

std::optional<char32_t> mathAccentMark(std::string_view name)
{
    for (const MathAccent &accent : mathAccents) {
        if (accent.name == name) {
            return accent.mark;
        }
    }
    return std::nullopt;
}

// Whether the text of a fraction's part or a root's radicand needs
// parentheses to be read as one: "a+b" and "x y" do, "n", "12" and "α" do not.
bool needsParentheses(std::string_view text)
{
    constexpr std::string_view separators[]
        = {" ", "+", "-", "*", "/", "=", ",", "\u2009", "\u2212", "\u00D7"};
    for (const std::string_view separator : separators) {
        if (text.find(separator) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

void appendGrouped(std::string &out, std::string_view text)
{
    if (needsParentheses(text)) {
        out += '(';
        out += text;
        out += ')';
    } else {
        out += text;
    }
}

// Puts the overline on every character of `text`, as a line over a group
// runs over all of it.
std::string overlineEveryCharacter(std::string_view text)
{
    std::string marked;
    for (size_t at = 0, next = 0; at < text.size(); at = next) {
        next = nextCharacter(text, at);
        marked.append(text, at, next - at).append("\u0305");
    }
    return marked;
}

// Fractions in fractions deeper than this are kept as written, which bounds
// the work and the stack.
constexpr int maxArgumentDepth = 4;

// Reads math left to right; every step either appends the text of one token
// or fails, so the caller can give the reader the math as written instead
// of a half-translated formula.
class MathReader {
public:
    MathReader(std::string &out, std::string_view math, int depth = 0)
        : out(out)
        , math(math)
        , start(out.size())
        , depth(depth)
    {
    }

    bool readAll()
    {
        while (position < math.size()) {
            if (!readToken()) {
                return false;
            }
        }
        return true;
    }

private:
    std::string_view commandName()
    {
        const size_t start = position;
        while (position < math.size() && isLetter(math[position])) {
            ++position;
        }
        if (position == start && position < math.size()) {
            position = nextCharacter(math, position);
        }
        return math.substr(start, position - start);
    }

    bool readCommand()
    {
        ++position; // the backslash
        const std::string_view name = commandName();
        if (name.empty()) {
            return false;
        }
        if (name == ",") {
            out += "\u2009"; // a thin space
        } else if (name == " " || name == ":" || name == ";") {
            out += ' ';
        } else if (name == "quad" || name == "qquad") {
            out += textCommand(name);
        } else if (name == "!") {
            // a negative thin space: nothing to write
        } else if (name.size() == 1 && std::string_view("{}%&#_$").find(name[0]) != std::string_view::npos) {
            out += name;
        } else if (isDelimiterSize(name)) {
            skipEmptyDelimiter();
        } else if (name == "frac" || name == "tfrac" || name == "dfrac") {
            return readFraction();
        } else if (name == "sqrt") {
            return readRoot();
        } else if (const std::optional<char32_t> mark = mathAccentMark(name)) {
            return readAccent(*mark);
        } else if (const std::string_view text = mathCommand(name); !text.empty()) {
            if (text == name && isLetter(name.front())) {
                appendOperator(text);
            } else {
                out += text;
            }
        } else {
            return isFontCommand(name);
        }
        return true;
    }

    // \left( and \bigl[ size the delimiter after them, which is what
    // is written; "\right." is an empty one.
    void skipEmptyDelimiter()
    {
        size_t next = position;
        while (next < math.size() && math[next] == ' ') {
            ++next;
        }
        if (next < math.size() && math[next] == '.') {
            position = next + 1;
        }
    }

    // The text of the next argument: a braced group or a single token.
    std::optional<std::string> readArgument()
    {
        while (position < math.size() && math[position] == ' ') {
            ++position;
        }
        if (position >= math.size()) {
            return std::nullopt;
        }
        size_t begin = position;
        size_t end = 0;
        if (math[position] == '{') {
            int depth = 0;
            size_t close = position;
            for (; close < math.size(); ++close) {
                if (math[close] == '\\') {
                    ++close;
                } else if (math[close] == '{') {
                    ++depth;
                } else if (math[close] == '}' && --depth == 0) {
                    break;
                }
            }
            if (close >= math.size()) {
                return std::nullopt;
            }
            begin = position + 1;
            end = close;
            position = close + 1;
        } else if (math[position] == '\\') {
            ++position;
            commandName();
            end = position;
        } else {
            position = nextCharacter(math, position);
            end = position;
        }
        std::string text;
        if (depth >= maxArgumentDepth
            || !MathReader(text, math.substr(begin, end - begin), depth + 1).readAll()) {
            return std::nullopt;
        }
        return text;
    }

    // \frac{a}{b} as "a/b", a part that is more than one term in parentheses.
    bool readFraction()
    {
        const std::optional<std::string> numerator = readArgument();
        const std::optional<std::string> denominator = numerator ? readArgument() : std::nullopt;
        if (!denominator || numerator->empty() || denominator->empty()) {
            return false;
        }
        appendGrouped(out, *numerator);
        out += '/';
        appendGrouped(out, *denominator);
        return true;
    }

    // \sqrt{x} as "√x"; a root of another degree (\sqrt[3]{x}) is kept.
    bool readRoot()
    {
        if (position < math.size() && math[position] == '[') {
            return false;
        }
        const std::optional<std::string> radicand = readArgument();
        if (!radicand || radicand->empty()) {
            return false;
        }
        out += "\u221A";
        appendGrouped(out, *radicand);
        return true;
    }

    // An accent over one symbol (\hat{x}, \bar x) as that symbol with a
    // combining mark; \overline marks every character of its group.
    bool readAccent(char32_t mark)
    {
        std::optional<std::string> symbol = readArgument();
        if (!symbol || symbol->empty()) {
            return false;
        }
        if (mark == 0x0305) {
            out += overlineEveryCharacter(*symbol);
            return true;
        }
        if (characterCount(*symbol) != 1 || !addCombiningMark(*symbol, 0, mark)) {
            return false;
        }
        out += *symbol;
        return true;
    }

    // A named operator (\log, \sin, \max) stands apart from the letters and
    // digits around it, as TeX sets it: "n\log n" is "n log n", "\sin(x)"
    // is "sin(x)".
    void appendOperator(std::string_view name)
    {
        if (out.size() > start) {
            const auto last = static_cast<unsigned char>(out.back());
            if (std::isalnum(last) || last >= 0x80 || last == ')' || last == ']') {
                out += ' ';
            }
        }
        out += name;
        size_t next = position;
        while (next < math.size() && math[next] == ' ') {
            ++next;
        }
        if (next < math.size()
            && (std::isalnum(static_cast<unsigned char>(math[next]))
                || (math[next] == '\\' && next + 1 < math.size() && isLetter(math[next + 1])))) {
            out += ' ';
        }
    }

    // The raised or lowered form of the next token or braced group, each of
    // whose characters must have one.
    bool readScript(bool raised)
    {
        ++position; // ^ or _
        while (position < math.size() && math[position] == ' ') {
            ++position;
        }
        if (position >= math.size()) {
            return false;
        }
        const auto shifted = [raised](char c) { return raised ? superscript(c) : subscript(c); };
        if (raised && math.substr(position).starts_with("\\circ")
            && !(position + 5 < math.size() && isLetter(math[position + 5]))) {
            position += 5;
            out += "°";
            return true;
        }
        if (raised && math.substr(position).starts_with("{\\circ}")) {
            position += 7;
            out += "°";
            return true;
        }
        if (math[position] != '{') {
            const std::string_view text = shifted(math[position++]);
            out += text;
            return !text.empty();
        }
        const size_t close = math.find('}', position);
        if (close == std::string_view::npos) {
            return false;
        }
        for (const char c : math.substr(position + 1, close - position - 1)) {
            const std::string_view text = shifted(c);
            if (text.empty()) {
                return false;
            }
            out += text;
        }
        position = close + 1;
        return true;
    }

    bool readToken()
    {
        const char c = math[position];
        switch (c) {
        case '\\':
            return readCommand();
        case '^':
        case '_':
            return readScript(c == '^');
        case '{':
        case '}':
        case ' ':
        case '\t':
        case '\n':
        case '\r':
            ++position;
            return true;
        case '-':
            ++position;
            out += "\u2212";
            return true;
        case '~':
            ++position;
            out += "\u00A0";
            return true;
        case '&':
        case '#':
        case '%':
        case '$':
            return false;
        default: {
            const size_t next = nextCharacter(math, position);
            out.append(math, position, next - position);
            position = next;
            return true;
        }
        }
    }

    std::string &out;
    std::string_view math;
    size_t start; // where this math begins in `out`
    int depth; // how many arguments this math lies within
    size_t position = 0;
};

} // namespace

bool appendMath(std::string &out, std::string_view math)
{
    const size_t start = out.size();
    if (MathReader(out, math).readAll()) {
        return true;
    }
    out.resize(start);
    return false;
}

} // namespace bibsources
