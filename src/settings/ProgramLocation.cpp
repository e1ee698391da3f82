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

}  // namespace torvo
