#include "tex_definitions.h"

#include "tex_commands.h"
#include "utf8_cursor.h"

#include <algorithm>

namespace bibsources {

namespace {

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Style files name their inner commands with "@" (\@ifundefined); a file of
// definitions is read as if \makeatletter were in force.
bool isNameLetter(char c)
{
    return isLetter(c) || c == '@';
}

size_t skipBlanks(std::string_view text, size_t at)
{
    while (at < text.size() && isBlank(text[at])) {
        ++at;
    }
    return at;
}

// The position just after the brace that closes the group opening at
// `open`, or npos; escaped braces are text.
size_t groupEnd(std::string_view text, size_t open)
{
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '{') {
            ++depth;
        } else if (text[i] == '}' && --depth == 0) {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// A "[...]" argument opening at `open`: the position after its "]", braces
// protecting any "]" inside, or npos.
size_t bracketEnd(std::string_view text, size_t open)
{
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '{') {
            const size_t close = groupEnd(text, i);
            if (close == std::string_view::npos) {
                return close;
            }
            i = close - 1;
        } else if (text[i] == ']') {
            return i + 1;
        }
    }
    return std::string_view::npos;
}

// The name of the control sequence whose backslash is at `at` (letters, or
// one other character, all of its bytes), and the position after it.
struct ControlSequence {
    std::string_view name;
    size_t end = 0;
};

ControlSequence controlSequenceAt(std::string_view text, size_t at, bool atIsLetter)
{
    size_t end = at + 1;
    while (end < text.size() && (atIsLetter ? isNameLetter(text[end]) : isLetter(text[end]))) {
        ++end;
    }
    if (end == at + 1 && end < text.size()) {
        end = nextCharacter(text, end);
    }
    return {text.substr(at + 1, end - at - 1), end};
}

// Reads a text of definitions token by token; conditionals are followed as
// TeX would, given what is defined so far.
class DefinitionReader {
public:
    DefinitionReader(std::string_view text, std::map<std::string, TexDefinition, std::less<>> &definitions)
        : text(text)
        , definitions(definitions)
        , lineComments(text.find('\n') != std::string_view::npos)
    {
    }

    std::vector<std::string> readAll() &&
    {
        while (at < text.size()) {
            readToken();
        }
        return std::move(problems);
    }

private:
    bool isDefined(std::string_view name) const
    {
        return definitions.find(name) != definitions.end() || isKnownCommand(name);
    }

    void readToken()
    {
        const char c = text[at];
        if (c == '%' && lineComments) {
            const size_t lineEnd = text.find('\n', at);
            at = lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
            return;
        }
        if (c != '\\') {
            ++at;
            return;
        }
        const ControlSequence command = controlSequenceAt(text, at, true);
        at = command.end;
        readCommand(command.name);
    }

    void readCommand(std::string_view name)
    {
        if (name == "def" || name == "gdef" || name == "edef" || name == "xdef") {
            readDef();
        } else if (name == "newcommand" || name == "renewcommand" || name == "providecommand"
            || name == "DeclareRobustCommand") {
            readNewCommand(name);
        } else if (name == "let") {
            readLet();
        } else if (name == "input" || name == "include") {
            noteInput();
        } else if (name == "else") {
            // Reached while reading a branch that held: what follows up to
            // its \fi is the branch that did not.
            skipBranch(false);
        } else if (name == "@ifundefined") {
            readIfUndefined();
        } else if (name.starts_with("if")) {
            readConditional(name);
        }
    }

    // The command a definition names: \cmd or {\cmd}.
    std::optional<std::string_view> definedName()
    {
        at = skipBlanks(text, at);
        const bool braced = at < text.size() && text[at] == '{';
        const size_t start = braced ? skipBlanks(text, at + 1) : at;
        if (start >= text.size() || text[start] != '\\') {
            return std::nullopt;
        }
        const ControlSequence command = controlSequenceAt(text, start, true);
        at = command.end;
        if (braced) {
            at = skipBlanks(text, at);
            if (at >= text.size() || text[at] != '}') {
                return std::nullopt;
            }
            ++at;
        }
        return command.name;
    }

    // The body group at the reading position, without its braces.
    std::optional<std::string_view> body()
    {
        at = skipBlanks(text, at);
        if (at >= text.size() || text[at] != '{') {
            return std::nullopt;
        }
        const size_t close = groupEnd(text, at);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view inside = text.substr(at + 1, close - at - 2);
        at = close;
        return inside;
    }

    void problem(std::string_view name, std::string_view what)
    {
        problems.push_back("\\" + std::string(name) + ": " + std::string(what));
    }

    void define(std::string_view name, TexDefinition definition, bool replace)
    {
        if (isKnownCommand(name)) {
            return;
        }
        const auto found = definitions.find(name);
        if (found == definitions.end()) {
            definitions.emplace(std::string(name), std::move(definition));
        } else if (replace) {
            found->second = std::move(definition);
        }
    }

    void readDef()
    {
        const std::optional<std::string_view> name = definedName();
        if (!name) {
            problems.push_back("\\def without a command name: not read");
            return;
        }
        // The parameter text up to the body's brace: #1#2..., each perhaps
        // followed by the text that ends its argument.
        TexDefinition definition;
        bool leadingText = false;
        while (at < text.size() && text[at] != '{') {
            if (text[at] == '#' && at + 1 < text.size() && text[at + 1] == char('1' + definition.parameters)
                && definition.parameters < 9) {
                ++definition.parameters;
                definition.delimiters.emplace_back();
                at += 2;
            } else if (definition.parameters == 0) {
                leadingText = leadingText || !isBlank(text[at]);
                ++at;
            } else {
                definition.delimiters.back() += text[at++];
            }
        }
        for (std::string &delimiter : definition.delimiters) {
            const size_t last = delimiter.find_last_not_of(" \t\r\n");
            delimiter.erase(last == std::string::npos ? 0 : last + 1);
        }
        const std::optional<std::string_view> inside = body();
        if (!inside) {
            problem(*name, "its body never closes; not read");
        } else if (leadingText) {
            problem(*name, "text before its first parameter is not read");
        } else {
            definition.body = std::string(*inside);
            define(*name, std::move(definition), true);
        }
    }

    // A "[...]" argument at the reading position, without its brackets.
    std::optional<std::string_view> bracketed()
    {
        const size_t open = skipBlanks(text, at);
        if (open >= text.size() || text[open] != '[') {
            return std::nullopt;
        }
        const size_t close = bracketEnd(text, open);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        at = close;
        return text.substr(open + 1, close - open - 2);
    }

    void readNewCommand(std::string_view how)
    {
        at = skipBlanks(text, at);
        if (at < text.size() && text[at] == '*') {
            ++at;
        }
        const std::optional<std::string_view> name = definedName();
        if (!name) {
            problems.push_back("\\" + std::string(how) + " without a command name: not read");
            return;
        }
        TexDefinition definition;
        if (const std::optional<std::string_view> count = bracketed()) {
            const std::string_view digits = *count;
            if (digits.size() != 1 || digits[0] < '0' || digits[0] > '9') {
                problem(*name, "the number of parameters is not 0 to 9; not read");
                body();
                return;
            }
            definition.parameters = digits[0] - '0';
            if (const std::optional<std::string_view> fallback = bracketed()) {
                definition.optionalDefault = std::string(*fallback);
            }
        }
        const std::optional<std::string_view> inside = body();
        if (!inside) {
            problem(*name, "its body never closes; not read");
            return;
        }
        if (definition.optionalDefault && definition.parameters == 0) {
            problem(*name, "an optional parameter needs one to 9 parameters; not read");
            return;
        }
        definition.body = std::string(*inside);
        const bool replace = how == "renewcommand" || how == "DeclareRobustCommand";
        if (how == "providecommand" && isDefined(*name)) {
            return;
        }
        define(*name, std::move(definition), replace);
    }

    void readLet()
    {
        const std::optional<std::string_view> name = definedName();
        at = skipBlanks(text, at);
        if (at < text.size() && text[at] == '=') {
            at = skipBlanks(text, at + 1);
        }
        if (!name || at >= text.size() || text[at] != '\\') {
            return;
        }
        const ControlSequence target = controlSequenceAt(text, at, true);
        at = target.end;
        if (const auto found = definitions.find(target.name); found != definitions.end()) {
            TexDefinition copy = found->second;
            define(*name, std::move(copy), true);
        }
    }

    void noteInput()
    {
        at = skipBlanks(text, at);
        size_t end = at;
        if (at < text.size() && text[at] == '{') {
            end = groupEnd(text, at);
            end = end == std::string_view::npos ? text.size() : end;
        } else {
            while (end < text.size() && !isBlank(text[end]) && text[end] != '\\' && text[end] != '}') {
                ++end;
            }
        }
        std::string file(text.substr(at, end - at));
        std::erase_if(file, [](char c) { return c == '{' || c == '}'; });
        at = end;
        if (!file.empty()) {
            problems.push_back(
                "reads " + file + ", which is not read here; give its definitions with --macros FILE");
        }
    }

    // A control sequence operand of a test: \cmd, or \csname name\endcsname.
    std::string_view operand()
    {
        at = skipBlanks(text, at);
        if (at >= text.size() || text[at] != '\\') {
            return {};
        }
        ControlSequence command = controlSequenceAt(text, at, true);
        at = command.end;
        if (command.name == "expandafter") {
            return operand();
        }
        if (command.name != "csname") {
            return command.name;
        }
        const size_t stop = text.find("\\endcsname", at);
        if (stop == std::string_view::npos) {
            return {};
        }
        const size_t start = skipBlanks(text, at);
        at = stop + 10;
        return text.substr(start, stop - start);
    }

    bool isUndefinedMarker(std::string_view name) const { return name == "undefined" || name == "relax"; }

    void readConditional(std::string_view name)
    {
        bool holds = true; // a test we cannot evaluate: its first branch is read
        if (name == "ifx") {
            const std::string_view first = operand();
            const std::string_view second = operand();
            if (isUndefinedMarker(first) && !second.empty()) {
                holds = !isDefined(second);
            } else if (isUndefinedMarker(second) && !first.empty()) {
                holds = !isDefined(first);
            }
        } else if (name == "ifdefined") {
            holds = isDefined(operand());
        } else if (name == "ifcsname") {
            const size_t stop = text.find("\\endcsname", at);
            if (stop != std::string_view::npos) {
                const size_t start = skipBlanks(text, at);
                holds = isDefined(text.substr(start, stop - start));
                at = stop + 10;
            }
        }
        if (!holds) {
            skipBranch(true);
        }
    }

    // \@ifundefined{name}{then}{else}: the group that applies is read.
    void readIfUndefined()
    {
        const std::optional<std::string_view> name = body();
        const size_t thenStart = skipBlanks(text, at);
        const std::optional<std::string_view> thenBranch = body();
        const std::optional<std::string_view> elseBranch = body();
        if (!name || !thenBranch || !elseBranch) {
            at = std::max(at, thenStart);
            return;
        }
        std::string_view tested = *name;
        tested = tested.substr(std::min(tested.find_first_not_of(" \\"), tested.size()));
        const std::string_view branch = isDefined(tested) ? *elseBranch : *thenBranch;
        DefinitionReader inner(branch, definitions);
        inner.lineComments = lineComments;
        std::vector<std::string> found = std::move(inner).readAll();
        problems.insert(problems.end(), found.begin(), found.end());
    }

    // Passes over a branch up to its \fi, or, when `stopAtElse`, up to an
    // \else of the same level, after which reading goes on. Tests nested in
    // the branch are passed over whole.
    void skipBranch(bool stopAtElse)
    {
        int depth = 0;
        while (at < text.size()) {
            if (text[at] != '\\') {
                ++at;
                continue;
            }
            const ControlSequence command = controlSequenceAt(text, at, true);
            at = command.end;
            if (command.name == "fi") {
                if (depth-- == 0) {
                    return;
                }
            } else if (command.name == "else" && depth == 0 && stopAtElse) {
                return;
            } else if (command.name.starts_with("if")) {
                ++depth;
            }
        }
    }

    std::string_view text;
    std::map<std::string, TexDefinition, std::less<>> &definitions;
    // A preamble comes with its line breaks folded into spaces: there a "%"
    // could not be told where to end, and is passed over like text.
    bool lineComments;
    size_t at = 0;
    std::vector<std::string> problems;
};

// Nested deeper than this, a definition is taken to call itself without end.
constexpr int maxDepth = 32;
constexpr size_t minSizeLimit = 64 * 1024;
constexpr int maxSteps = 100000;
// How much replacement text one field may make in all, and how much text
// it may read looking for arguments, in multiples of its size limit. The
// second bounds the time spent on commands whose arguments never come.
constexpr size_t producedPerSize = 16;
constexpr size_t scannedPerSize = 16;

// Expands one text; stops at the first limit reached and names it.
class Expander {
public:
    Expander(const TexDefinitions &definitions, size_t sizeLimit)
        : definitions(definitions)
        , sizeLimit(sizeLimit)
    {
    }

    bool expand(std::string &out, std::string_view text, int depth)
    {
        size_t at = 0;
        while (at < text.size()) {
            const size_t slash = text.find('\\', at);
            out.append(
                text.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at));
            if (slash == std::string_view::npos) {
                break;
            }
            const ControlSequence command = controlSequenceAt(text, slash, false);
            const TexDefinition *definition = definitions.find(command.name);
            if (command.name.empty() || !isLetter(command.name.front()) || !definition) {
                out.append(text.substr(slash, command.end - slash));
                at = command.end;
                continue;
            }
            const std::optional<size_t> next = expandOne(out, text, command, *definition, depth);
            if (!problem.empty()) {
                return false;
            }
            if (!next) {
                out.append(text.substr(slash, command.end - slash));
                at = command.end;
                continue;
            }
            at = *next;
            separate(out, text, at);
            if (!problem.empty()) {
                return false;
            }
        }
        return true;
    }

    std::string problem;

private:
    // One argument as TeX reads an undelimited one; nullopt when the text
    // ends or a group never closes.
    std::optional<std::string_view> argument(std::string_view text, size_t &at)
    {
        at = skipBlanks(text, at);
        if (at >= text.size() || text[at] == '}') {
            return std::nullopt;
        }
        const size_t start = at;
        if (text[at] == '{') {
            const size_t close = groupEnd(text, at);
            if (!spend((close == std::string_view::npos ? text.size() : close) - start)
                || close == std::string_view::npos) {
                return std::nullopt;
            }
            at = close;
            return text.substr(start + 1, close - start - 2);
        }
        if (text[at] == '\\') {
            at = controlSequenceAt(text, at, false).end;
            return text.substr(start, at - start);
        }
        at = nextCharacter(text, at);
        return text.substr(start, at - start);
    }

    // An argument that ends where `delimiter` first stands outside braces;
    // one group around all of it goes, as in TeX.
    std::optional<std::string_view> delimitedArgument(
        std::string_view text, size_t &at, std::string_view delimiter)
    {
        const bool endsInWord = isLetter(delimiter.back()) && delimiter.find('\\') != std::string_view::npos;
        int depth = 0;
        for (size_t i = at; i < text.size(); ++i) {
            if (depth == 0 && text.substr(i, delimiter.size()) == delimiter
                && !(endsInWord && i + delimiter.size() < text.size()
                    && isLetter(text[i + delimiter.size()]))) {
                if (!spend(i - at)) {
                    return std::nullopt;
                }
                std::string_view value = text.substr(at, i - at);
                at = i + delimiter.size();
                if (value.size() >= 2 && value.front() == '{' && groupEnd(value, 0) == value.size()) {
                    value = value.substr(1, value.size() - 2);
                }
                return value;
            }
            if (text[i] == '\\') {
                ++i;
            } else if (text[i] == '{') {
                ++depth;
            } else if (text[i] == '}' && --depth < 0) {
                spend(i - at);
                return std::nullopt;
            }
        }
        spend(text.size() - at);
        return std::nullopt;
    }

    // Counts text read in search of arguments; false, with the problem
    // named, once a field has read too much.
    bool spend(size_t bytes)
    {
        scanned += bytes;
        if (scanned > sizeLimit * scannedPerSize && problem.empty()) {
            problem = outermost + " expands too often";
        }
        return problem.empty();
    }

    // Writes the expansion of the command that ends at command.end and
    // returns where the text goes on after its arguments; nullopt when an
    // argument is missing and the command stays as written.
    std::optional<size_t> expandOne(std::string &out, std::string_view text, const ControlSequence &command,
        const TexDefinition &definition, int depth)
    {
        if (depth == 0) {
            outermost = "\\" + std::string(command.name);
        }
        if (depth >= maxDepth) {
            problem = outermost + " expands without end";
            return std::nullopt;
        }
        if (++steps > maxSteps) {
            problem = outermost + " expands too often";
            return std::nullopt;
        }
        std::vector<std::string_view> arguments;
        size_t at = skipBlanks(text, command.end);
        for (int i = 0; i < definition.parameters; ++i) {
            if (i == 0 && definition.optionalDefault) {
                const size_t open = skipBlanks(text, at);
                const size_t close = open < text.size() && text[open] == '[' ? bracketEnd(text, open)
                                                                             : std::string_view::npos;
                const size_t read = open < text.size() && text[open] == '['
                    ? (close == std::string_view::npos ? text.size() : close) - open
                    : 0;
                if (!spend(read)) {
                    return std::nullopt;
                }
                arguments.push_back(close == std::string_view::npos
                        ? std::string_view(*definition.optionalDefault)
                        : text.substr(open + 1, close - open - 2));
                at = close == std::string_view::npos ? at : close;
                continue;
            }
            const std::optional<std::string_view> value
                = i < int(definition.delimiters.size()) && !definition.delimiters[size_t(i)].empty()
                ? delimitedArgument(text, at, definition.delimiters[size_t(i)])
                : argument(text, at);
            if (!value) {
                return std::nullopt;
            }
            arguments.push_back(*value);
        }
        const std::string replaced = substituted(definition.body, arguments);
        // Every replacement text is counted, not only what stays in `out`:
        // a definition that copies its argument twice grows by powers of two
        // long before anything is appended.
        produced += replaced.size();
        if (produced > sizeLimit * producedPerSize) {
            problem = tooLong();
            return std::nullopt;
        }
        separateBefore(out, replaced);
        if (!problem.empty() || !expand(out, replaced, depth + 1)) {
            return std::nullopt;
        }
        if (out.size() > sizeLimit) {
            problem = tooLong();
            return std::nullopt;
        }
        return at;
    }

    std::string tooLong() const
    {
        return outermost + " expands to more than " + std::to_string(sizeLimit / 1024) + " KiB";
    }

    static std::string substituted(std::string_view body, const std::vector<std::string_view> &arguments)
    {
        std::string text;
        text.reserve(body.size());
        for (size_t i = 0; i < body.size(); ++i) {
            if (body[i] != '#' || i + 1 >= body.size()) {
                text += body[i];
                continue;
            }
            const char next = body[++i];
            if (next == '#') {
                text += '#';
            } else if (next >= '1' && size_t(next - '1') < arguments.size()) {
                text.append(arguments[size_t(next - '1')]);
            } else {
                text += '#';
                text += next;
            }
        }
        return text;
    }

    // Whether `out` ends in a control word, which a letter after it would
    // lengthen into another one. `out` only grows, so only what was added
    // since the last call is read: a long run of letters is read once.
    bool endsInControlWord(std::string_view out)
    {
        size_t at = out.size();
        while (at > outRead && isLetter(out[at - 1])) {
            --at;
        }
        if (at > outRead) {
            letterRunStart = at;
        }
        outRead = out.size();
        return letterRunStart > 0 && letterRunStart < out.size() && out[letterRunStart - 1] == '\\';
    }

    void separateBefore(std::string &out, std::string_view next)
    {
        if (!next.empty() && isLetter(next.front()) && endsInControlWord(out)) {
            out += ' ';
        }
    }

    void separate(std::string &out, std::string_view text, size_t at)
    {
        if (at < text.size()) {
            separateBefore(out, text.substr(at, 1));
        }
    }

    const TexDefinitions &definitions;
    size_t sizeLimit;
    size_t produced = 0; // bytes of replacement text made so far
    size_t scanned = 0; // bytes read in search of arguments
    size_t outRead = 0; // how much of the output endsInControlWord has read
    size_t letterRunStart = 0; // where the letters that end that much begin
    int steps = 0;
    std::string outermost; // the command of the text itself, which problems name
};

} // namespace

std::vector<std::string> TexDefinitions::read(std::string_view latex)
{
    return DefinitionReader(latex, definitions).readAll();
}

const TexDefinition *TexDefinitions::find(std::string_view name) const
{
    const auto found = definitions.find(name);
    return found == definitions.end() ? nullptr : &found->second;
}

Expansion expandDefinitions(std::string_view utf8, const TexDefinitions &definitions)
{
    if (definitions.empty() || utf8.find('\\') == std::string_view::npos) {
        return {std::string(utf8), {}};
    }
    Expander expander(definitions, std::max(minSizeLimit, utf8.size() * 16));
    std::string out;
    out.reserve(utf8.size() + 16);
    if (!expander.expand(out, utf8, 0)) {
        return {std::string(utf8), std::move(expander.problem)};
    }
    return {std::move(out), {}};
}

} // namespace bibsources
