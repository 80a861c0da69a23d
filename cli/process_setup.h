#pragma once

namespace bibsources::cli {

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is
// closed, so that no file the program opens takes their number: otherwise
// the parser's warnings to standard error would land in whatever file got
// descriptor 2. Call first thing in main.
void openMissingStandardDescriptors();

// On SIGINT, SIGTERM, SIGHUP and SIGPIPE, erases the progress line, removes
// the run's temporary files and then dies of the same signal, so a shell sees 128+N and a script
// stopped with Ctrl-C stops. A signal the program was started with ignored
// (nohup) stays ignored. SIGXFSZ is ignored, so a file size limit becomes a
// write error the run reports, like a full disk.
void removeTemporaryFilesOnSignals();

} // namespace bibsources::cli
