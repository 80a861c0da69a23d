#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bibsources {

// Which fields of an entry the helper hands over; it drops every other one
// (an abstract's text is never needed), except in macro definitions, whose
// fields are the macros themselves. Names are compared exactly, as the
// parser reports them.
struct FieldSelection {
    std::vector<std::string> kept;
    // Among kept: lists of people, handed over already split into names.
    std::vector<std::string> names;
    // Every field not kept still arrives, by its name alone (textLeftOut).
    bool namesOfTheRest = false;

    bool keeps(std::string_view fieldName) const;
    bool splitsNames(std::string_view fieldName) const;
    bool operator==(const FieldSelection &) const = default;
};

// How the converter starts the parser helper "bibsources-parse", and how the
// helper ends. The helper reads its input on standard input (a regular file,
// positioned anywhere), writes frames (frames.h) on standard output and its
// own complaints on standard error. Its command line:
//
//   bibsources-parse --name NAME [--fields F1,F2,...] [--names F1,...] [--other-names]
//                    [--start OFFSET LINE] [--memory BYTES] [--careful]
//                    [--macros] [--no-new-macros] [--parent PID]
//   bibsources-parse --sandbox-selftest none|open|exec
struct HelperCommand {
    std::string name; // what the parser's messages call the input
    FieldSelection fields; // none kept: entries arrive with type, key and line alone
    std::uint64_t startOffset = 0; // where in the input to begin...
    std::uint64_t startLine = 1; // ...which is on this line
    std::uint64_t memoryLimit = 0; // address-space limit in bytes; 0: none
    bool careful = false; // send every step at once instead of in blocks
    bool macros = false; // define the macros on descriptor 3 first
    bool storeMacros = true; // false: parse later macro definitions without keeping them
    // The converter's process: the helper dies with it, and does not start
    // when it is already gone. 0: not checked.
    std::uint64_t parent = 0;
    std::string selftest; // enter the sandbox, then try this ("open", "exec")
};

// The arguments that start the helper with this command, after its path.
std::vector<std::string> helperArguments(const HelperCommand &command);

struct ParsedHelperCommand {
    HelperCommand command;
    std::string error; // set when the arguments are not a command
};

// Reads the helper's arguments, without the program name.
ParsedHelperCommand parseHelperArguments(const std::vector<std::string> &arguments);

// Exit statuses of the helper that the converter tells apart.
namespace helper_exit {
constexpr int usage = 2; // bad arguments, or it could not set itself up
constexpr int outOfMemory = 3; // an allocation failed in its own code
constexpr int pipe = 4; // the converter stopped reading
constexpr int macroTableFull = 255; // btparse's own: no room for another macro name
} // namespace helper_exit

} // namespace bibsources
