#include "settings/ProgramLocation.h"

#include <unistd.h>

#include <climits>
#include <string_view>

namespace torvo {

std::string ProgramPath() {
    // One readlink: the link is always there (reading it as a std::filesystem
    // symlink would look at it with lstat first).
    std::string path(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
    path.resize(static_cast<size_t>(n));
    return path;
}

std::string ProgramDir() {
    const std::string path = ProgramPath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool RunsFromBuildTree(std::string_view programDir) {
#ifdef TORVO_BUILD_DIR
    const std::string_view build = TORVO_BUILD_DIR "/";
    return !programDir.empty() && programDir.starts_with(build);
#else
    (void)programDir;
    return false;
#endif
}

bool RunsFromBuildTree() { return RunsFromBuildTree(ProgramDir()); }

std::vector<std::string> ModuleCandidates(const char* file, const char* fromProgram, const char* installed,
                                          const char* built) {
    std::vector<std::string> files;
    const std::string dir = ProgramDir();
    if (RunsFromBuildTree(dir)) {
        files.push_back(dir + file);
        if (*built) files.emplace_back(built);
        return files;
    }
    if (!dir.empty() && *fromProgram) files.push_back(dir + fromProgram + file);
    if (*installed) files.emplace_back(installed);
    return files;
}

}  // namespace torvo
