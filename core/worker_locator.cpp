#include "worker_locator.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace bibsources {

namespace {

constexpr const char *workerName = "bibsources-parse";

bool isRunnable(const std::string &path)
{
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

WorkerLocation locateWorker()
{
    WorkerLocation location;
    if (const char *chosen = std::getenv("BIBSOURCES_WORKER"); chosen && *chosen) {
        if (isRunnable(chosen)) {
            location.path = chosen;
        } else {
            location.error = std::string("the parser helper named by BIBSOURCES_WORKER ('") + chosen
                + "') is not an executable file";
        }
        return location;
    }

    std::vector<std::filesystem::path> candidates;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path directory = self.parent_path();
        candidates.push_back(directory / BIBSOURCES_WORKER_FROM_BINDIR / workerName);
    }
#ifdef BIBSOURCES_BUILD_TREE_WORKER
    // Only meaningful in the build tree itself; an installed copy of this
    // program finds its helper above first.
    candidates.emplace_back(BIBSOURCES_BUILD_TREE_WORKER);
#endif
    if (!error) {
        candidates.push_back(self.parent_path() / workerName);
    }
    for (const std::filesystem::path &candidate : candidates) {
        if (isRunnable(candidate.string())) {
            location.path = candidate.lexically_normal().string();
            return location;
        }
    }
    location.error = "the parser helper 'bibsources-parse' is not installed beside this program";
    if (!candidates.empty()) {
        location.error += " (looked for " + candidates.front().lexically_normal().string() + ")";
    }
    return location;
}

} // namespace bibsources
