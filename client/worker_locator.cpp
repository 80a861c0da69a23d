#include "worker_locator.h"

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

[[maybe_unused]] bool isInside(const std::filesystem::path &file, const std::filesystem::path &directory)
{
    std::error_code ignored;
    const std::filesystem::path base = std::filesystem::weakly_canonical(directory, ignored);
    const std::filesystem::path relative = file.lexically_relative(base);
    return !relative.empty() && *relative.begin() != "..";
}

} // namespace

WorkerLocation locateWorker()
{
    WorkerLocation location;
    std::vector<std::filesystem::path> candidates;
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const std::filesystem::path directory = self.parent_path();
        candidates.push_back(directory / BIBSOURCES_WORKER_FROM_BINDIR / workerName);
    }
#if defined(BIBSOURCES_BUILD_TREE_WORKER) && defined(BIBSOURCES_BUILD_TREE)
    // Programs run from the build tree (the tools, the tests) use the helper
    // built beside them. An installed copy never does: without its own
    // helper it must fail, not quietly run whatever a build left behind.
    if (!error && isInside(self, BIBSOURCES_BUILD_TREE)) {
        candidates.emplace_back(BIBSOURCES_BUILD_TREE_WORKER);
    }
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
