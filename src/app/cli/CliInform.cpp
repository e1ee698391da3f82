#include "CliInform.h"

#include <sys/stat.h>
#include <unistd.h>

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

std::string OneLine(const std::vector<UserMessage>& messages) {
    std::string raw;
    for (const UserMessage& m : messages) {
        if (!raw.empty()) raw += "; ";
        raw += m.caption + ": " + m.text;
    }
    std::string line;
    for (const char c : raw) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (blank) {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            // A caption that ends in blanks leaves " :" behind; keep "text:".
            if (c == ':' && !line.empty() && line.back() == ' ') line.pop_back();
            line += c;
        }
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == ';')) line.pop_back();
    return line;
}

std::string FailureCode(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return "not_found";
        if (errno == EACCES) return "permission_denied";
        return "unreadable";
    }
    if (S_ISDIR(info.st_mode)) return "is_directory";
    if (::access(path.c_str(), R_OK) != 0) return "permission_denied";
    return "unreadable";
}

}  // namespace torvo::cli
