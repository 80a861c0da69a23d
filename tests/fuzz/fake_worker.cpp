// Stands in for the parser worker in fuzz_hostile_worker: it ignores its
// input and writes whatever bytes the fuzzer chose for this start, then ends
// the way the fuzzer chose. Starts are counted in a file, so the n-th start
// of a conversion plays the n-th script.
//
// FUZZ_FAKE_WORKER_DIR holds "count" (starts so far) and "script-N" for
// N = 0, 1, ...; a start without a script exits with status 1 at once. A
// script's first byte says how the worker ends after writing the rest:
// 0 exit 0, 1 exit 1, 2 SIGSEGV, 3 exit 255 (the parser's "macro table
// full"), 4 stays silent until it is killed.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string readFile(const std::string &path, bool &found)
{
    std::ifstream file(path, std::ios::binary);
    found = bool(file);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeAll(const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
        if (n <= 0) {
            return; // the converter stopped listening; that is its right
        }
        done += size_t(n);
    }
}

} // namespace

int main()
{
    const char *directory = std::getenv("FUZZ_FAKE_WORKER_DIR");
    if (!directory) {
        return 1;
    }
    const std::string base = directory;
    bool found = false;
    const int start = std::atoi(readFile(base + "/count", found).c_str());
    std::ofstream(base + "/count", std::ios::trunc) << start + 1;

    const std::string script = readFile(base + "/script-" + std::to_string(start), found);
    if (!found || script.empty()) {
        return 1;
    }
    writeAll(script.substr(1));
    switch (static_cast<unsigned char>(script[0]) % 5) {
    case 0:
        return 0;
    case 1:
        return 1;
    case 2:
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
        return 1;
    case 3:
        return 255;
    default:
        while (true) {
            ::pause();
        }
    }
}
