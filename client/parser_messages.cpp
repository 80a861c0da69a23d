#include "parser_messages.h"

#include <charconv>
#include <string>

namespace bibsources {

Message parserMessage(std::string_view line, std::string_view parserName)
{
    Message message;
    if (!line.starts_with(parserName)) {
        message.text = line;
        return message;
    }
    std::string_view rest = line.substr(parserName.size());
    constexpr std::string_view aboutLine = ", line ";
    if (rest.starts_with(aboutLine)) {
        rest.remove_prefix(aboutLine.size());
        int number = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
        const std::string_view text = rest.substr(static_cast<std::size_t>(end - rest.data()));
        if (error == std::errc() && number > 0 && text.starts_with(", ")) {
            message.line = number;
            message.lastLine = number;
            message.text = text.substr(2);
            return message;
        }
    }
    message.text = line.substr(line.substr(parserName.size()).starts_with(": ") ? parserName.size() + 2 : 0);
    return message;
}

Message withEntryLine(Message message, int entryLine)
{
    if (entryLine > 0 && message.line != entryLine
        && message.text.find("at end of input") != std::string::npos) {
        message.text += "; the entry left open starts on line " + std::to_string(entryLine);
    }
    return message;
}

} // namespace bibsources
