// Runs one command and prints what it cost, counting the whole process tree:
//
//   bibsources-bench-measure [--log FILE] -- COMMAND [ARG...]
//   wall=1.234 cpu=2.345 user=2.100 sys=0.245 maxrss_kib=51234 tree_kib=60123 exit=0
//
// wall      elapsed time from fork to reaping the command
// cpu       user + system time of the command and of every descendant it waited
//           for (the kernel adds a reaped child's times to its parent's)
// maxrss    the kernel's exact peak resident set of the largest single process
//           in the tree (it keeps the maximum, not the sum, over descendants)
// tree      the largest sum of resident sets of all processes of the tree
//           alive at one moment, sampled every 2 ms; it can miss a peak shorter
//           than that, so it is never reported below maxrss. Shared library
//           pages are counted once per process.
//
// The command's standard output and error go to FILE (default /dev/null).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <set>
#include <string>
#include <thread>

namespace {

long pageKib()
{
    static const long kib = sysconf(_SC_PAGESIZE) / 1024;
    return kib;
}

// Resident set of one process in KiB, or -1 once it is gone.
long residentKib(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/statm", int(pid));
    std::FILE *file = std::fopen(path, "r");
    if (!file) {
        return -1;
    }
    long size = 0;
    long resident = -1;
    if (std::fscanf(file, "%ld %ld", &size, &resident) != 2) {
        resident = -1;
    }
    std::fclose(file);
    return resident < 0 ? -1 : resident * pageKib();
}

pid_t parentOf(const char *pid)
{
    char path[320];
    std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
    std::FILE *file = std::fopen(path, "r");
    if (!file) {
        return -1;
    }
    char buffer[512];
    const size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[length] = '\0';
    // The command name may hold spaces and parentheses; the fields after it
    // start behind the last ')'.
    const char *close = std::strrchr(buffer, ')');
    char state = 0;
    int parent = -1;
    if (!close || std::sscanf(close + 1, " %c %d", &state, &parent) != 2) {
        return -1;
    }
    return parent;
}

// Adds to `tree` every process whose parent is already in it, until nothing
// changes. This kernel has no /proc/PID/task/TID/children, so it reads the
// parent of every process; that costs too much to do at every sample.
void discoverDescendants(std::set<pid_t> &tree)
{
    bool grew = true;
    while (grew) {
        grew = false;
        DIR *proc = opendir("/proc");
        if (!proc) {
            return;
        }
        while (dirent *item = readdir(proc)) {
            if (item->d_name[0] < '0' || item->d_name[0] > '9') {
                continue;
            }
            const pid_t pid = pid_t(std::atoi(item->d_name));
            if (tree.count(pid) == 0 && tree.count(parentOf(item->d_name)) > 0) {
                tree.insert(pid);
                grew = true;
            }
        }
        closedir(proc);
    }
}

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    const char *logPath = "/dev/null";
    int first = 1;
    if (first + 1 < argc && std::strcmp(argv[first], "--log") == 0) {
        logPath = argv[first + 1];
        first += 2;
    }
    if (first < argc && std::strcmp(argv[first], "--") == 0) {
        ++first;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--log FILE] -- COMMAND [ARG...]\n", argv[0]);
        return 2;
    }

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        const int log = open(logPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (log >= 0) {
            dup2(log, STDOUT_FILENO);
            dup2(log, STDERR_FILENO);
        }
        execvp(argv[first], argv + first);
        std::perror(argv[first]);
        _exit(127);
    }

    std::set<pid_t> tree{child};
    long treePeakKib = 0;
    rusage usage{};
    int status = 0;
    for (unsigned tick = 0;; ++tick) {
        const pid_t done = wait4(child, &status, WNOHANG, &usage);
        if (done == child) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            std::perror("wait4");
            return 1;
        }
        if (tick % 25 == 0) {
            discoverDescendants(tree);
        }
        long sum = 0;
        for (auto it = tree.begin(); it != tree.end();) {
            const long kib = residentKib(*it);
            if (kib < 0 && *it != child) {
                it = tree.erase(it);
                continue;
            }
            sum += std::max(kib, 0L);
            ++it;
        }
        treePeakKib = std::max(treePeakKib, sum);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;

    const double user = seconds(usage.ru_utime);
    const double system = seconds(usage.ru_stime);
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("wall=%.3f cpu=%.3f user=%.3f sys=%.3f maxrss_kib=%ld tree_kib=%ld exit=%d\n", wall.count(),
        user + system, user, system, usage.ru_maxrss, std::max(treePeakKib, long(usage.ru_maxrss)), exitCode);
    return 0;
}
