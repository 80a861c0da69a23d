#include "tex_math.h"

#include "tex_commands.h"

#include <cctype>

namespace bibsources {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Reads math left to right; every step either appends the text of one token
// or fails, so the caller can give the reader the math as written instead
// of a half-translated formula.
class MathReader {
public:
    MathReader(std::string &out, std::string_view math)
        : out(out)
        , math(math)
        , start(out.size())
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
            ++position;
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
        } else if (name == "!") {
            // a negative thin space: nothing to write
        } else if (name.size() == 1 && std::string_view("{}%&#_$").find(name[0]) != std::string_view::npos) {
            out += name;
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
        default:
            ++position;
            out += c;
            return true;
        }
    }

    std::string &out;
    std::string_view math;
    size_t start; // where this math begins in `out`
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
