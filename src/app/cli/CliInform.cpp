#include "CliInform.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "export/Template.h"
#include "export/TemplateKeys.h"

namespace torvo::cli {

namespace {

// A placeholder that names no field would print "***ОШИБКА**" in every
// record; a script is better told before the first one.
std::optional<std::string> KnownKeysOnly(std::optional<std::string> text, std::string& error) {
    if (!text) return text;
    const std::vector<std::string> unknown = UnknownTemplateKeys(*text);
    if (unknown.empty()) return text;
    error = "the template names no report field";
    for (const std::string& key : unknown) error += " " + key;
    return std::nullopt;
}

std::optional<std::string> TemplateText(const std::string& argument, std::string& error) {
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

}  // namespace

std::optional<std::string> InformTemplate(const std::string& argument, std::string& error) {
    return KnownKeysOnly(TemplateText(argument, error), error);
}

}  // namespace torvo::cli
