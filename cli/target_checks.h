#pragma once

#include "cli_options.h"

#include <string>
#include <string_view>

namespace bibsources::cli {

// The number N when `path` names one of the program's own descriptors
// (/dev/stdin, /dev/stdout, /dev/stderr, /dev/fd/N, /proc/self/fd/N), else -1.
int descriptorNamed(std::string_view path);

// Inputs that name standard input become "-", and an output or report that
// names standard output becomes "-": they are read and written as those
// streams, not as the files the names happen to point at.
void useStandardStreamNames(Options &options);

// What is wrong with where the document would go, as a usage error (empty if
// nothing): an input named by a descriptor has no folder to hold its
// Sources.xml, an output that is one of the inputs (the same file, also
// through links) would replace that input, --merge cannot merge into
// standard output, whatever it is called, and the --report table may be
// none of the files the run reads or writes (nor standard output when the
// document goes there). Checked before anything is read;
// call useStandardStreamNames first.
std::string targetProblem(const Options &options);

} // namespace bibsources::cli
