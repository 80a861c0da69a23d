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
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

int main()
{
    const char *directory = std::getenv("FUZZ_FAKE_WORKER_DIR");
    if (!directory) {
        return 1;
    }
    const std::string base = directory;
    int start = 0;
    std::ifstream(base + "/count") >> start;
    std::ofstream(base + "/count", std::ios::trunc) << start + 1;

    std::ifstream file(base + "/script-" + std::to_string(start), std::ios::binary);
    const std::string script{std::istreambuf_iterator<char>(file), {}};
    if (script.empty()) {
        return 1;
    }
    // A short write means the converter stopped listening; that is its right.
    for (size_t done = 1; done < script.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, script.data() + done, script.size() - done);
        if (n <= 0) {
            break;
        }
        done += size_t(n);
    }
    const int ending = static_cast<unsigned char>(script[0]) % 5;
    if (ending == 2) {
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
    }
    while (ending == 4) {
        ::pause();
    }
    return ending == 0 ? 0 : ending == 3 ? 255 : 1;
}
