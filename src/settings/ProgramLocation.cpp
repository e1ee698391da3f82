#include "settings/ProgramLocation.h"

#include <filesystem>
#include <string_view>
#include <system_error>

namespace torvo {

std::string ProgramPath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

std::string ProgramDir() {
    const std::string path = ProgramPath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool RunsFromBuildTree() {
#ifdef TORVO_BUILD_DIR
    const std::string dir = ProgramDir();
    const std::string_view build = TORVO_BUILD_DIR "/";
    return !dir.empty() && std::string_view(dir).starts_with(build);
#else
    return false;
#endif
}

std::vector<std::string> ModuleCandidates(const char* file, const char* fromProgram, const char* installed,
                                          const char* built) {
    std::vector<std::string> files;
    const std::string dir = ProgramDir();
    if (RunsFromBuildTree()) {
        files.push_back(dir + file);
        if (*built) files.emplace_back(built);
        return files;
    }
    if (!dir.empty() && *fromProgram) files.push_back(dir + fromProgram + file);
    if (*installed) files.emplace_back(installed);
    return files;
}

}  // namespace torvo
