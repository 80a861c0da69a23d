#pragma once

namespace bibsources::worker {

// The whole life of the parser helper "bibsources-parse", whose command line
// and exit statuses protocol/helper_command.h states. It parses its standard
// input with btparse and writes frames (protocol/frames.h) to standard
// output: Ready, one Step per parser call, End. The self-test enters the
// sandbox and then tries what it names, so a test can see it killed.
int runParseWorker(int argc, char **argv);

} // namespace bibsources::worker
