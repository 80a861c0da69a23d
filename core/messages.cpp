#include "bibsources/conversion.h"

namespace bibsources {

namespace {

constexpr std::string_view standardInput = "standard input";

// In a message, standard input is named as the parser names it, in
// brackets, so that a file called "standard input" is never taken for it.
std::string messageName(std::string_view inputPath)
{
    return inputPath == "-" ? "(" + std::string(standardInput) + ")" : std::string(inputPath);
}

} // namespace

std::string inputName(std::string_view inputPath)
{
    return std::string(inputPath == "-" ? standardInput : inputPath);
}

std::string messageLine(std::string_view inputPath, const Message &message)
{
    if (message.kind == Message::Kind::Parser && message.line > 0) {
        return messageName(inputPath) + ", line " + std::to_string(message.line) + ", " + message.text;
    }
    return messageName(inputPath) + ": " + message.text;
}

} // namespace bibsources
