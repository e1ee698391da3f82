#include "CliInform.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "export/Template.h"

namespace torvo::cli {

std::optional<std::string> InformTemplate(const std::string& argument, std::string& error) {
    std::string path;
    struct stat info {};
    if (argument.starts_with("file://")) path = argument.substr(7);
    else if (::stat(argument.c_str(), &info) == 0 && S_ISREG(info.st_mode)) path = argument;
    if (path.empty()) return argument;
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    if (file) bytes << file.rdbuf();
    if (!file) {
        error = "cannot read the template " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    if (bytes.str().size() > kExportBufferBytes) {
        error = "the template " + path + " is larger than 100 KiB";
        return std::nullopt;
    }
    std::optional<std::string> text = TemplateFromFileBytes(bytes.str());
    if (!text) error = "the template " + path + " is empty";
    return text;
}

}  // namespace torvo::cli
