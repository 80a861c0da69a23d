#pragma once

#include "cli_options.h"

#include <span>
#include <string>

namespace bibsources::cli {

// The "options:" part of --help, one entry a row of the table in its order:
// the names and value, then the row's help wrapped to fit 80 columns,
// indented to one column for all.
std::string optionHelp(std::span<const OptionSpec> table);

} // namespace bibsources::cli
