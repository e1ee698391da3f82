#include "settings/ProgramLocation.h"

#include <filesystem>
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

std::vector<std::string> ModuleCandidates(const char* file, const char* fromProgram, const char* installed,
                                          const char* built) {
    std::vector<std::string> files;
    if (const std::string dir = ProgramDir(); !dir.empty()) {
        files.push_back(dir + file);
        if (*fromProgram) files.push_back(dir + fromProgram + file);
    }
    if (*installed) files.emplace_back(installed);
    if (*built) files.emplace_back(built);
    return files;
}

}  // namespace torvo
