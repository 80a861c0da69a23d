#pragma once

namespace bibsources::worker {

// The whole life of the parser helper "bibsources-parse":
//
//   bibsources-parse --name NAME [--start OFFSET LINE] [--memory BYTES]
//                    [--careful] [--macros] [--no-new-macros]
//   bibsources-parse --sandbox-selftest none|open|exec
//
// It parses its standard input (a regular file, from OFFSET, which is on
// line LINE) with btparse and writes frames (core/worker_protocol.h) to
// standard output: Ready, one Step per parser call, End. With --macros it
// first defines the macros read from descriptor 3; --no-new-macros parses
// later macro definitions without remembering them. --careful sends every
// step as soon as it is made instead of in blocks. The self-test enters the
// sandbox and then tries what it names, so a test can see it killed.
int runParseWorker(int argc, char **argv);

} // namespace bibsources::worker
