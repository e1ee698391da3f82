#include "inventory/FilterOverrides.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/Text.h"
#include "inventory/Merit.h"

namespace torvo {
namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::optional<uint32_t> HexValue(const std::string& text) {
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return std::nullopt;
    uint32_t value = 0;
    for (size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = uint32_t(c - '0');
        else if (c >= 'a' && c <= 'f') digit = uint32_t(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F') digit = uint32_t(c - 'A' + 10);
        else return std::nullopt;
        value = value << 4 | digit;
    }
    return value;
}

// "in {major} {subtype}" or "out ...".
std::optional<RemovedMediaType> RemovedOf(const std::string& text) {
    std::istringstream in(text);
    std::string direction, major, subtype;
    if (!(in >> direction >> major >> subtype) || (direction != "in" && direction != "out")) return std::nullopt;
    const auto m = ParseGuid(major), s = ParseGuid(subtype);
    if (!m || !s) return std::nullopt;
    return RemovedMediaType{direction == "out", {*m, *s}};
}

}  // namespace

std::string CFilterOverrides::DefaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg && *xdg == '/') base = xdg;
    else base = std::string(std::getenv("HOME") ? std::getenv("HOME") : "") + "/.config";
    return base + "/Quellmark/TorvoFilters.conf";
}

bool CFilterOverrides::ValidName(const std::string& name) {
    if (name.empty() || name.size() > 127) return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == '+')) return false;
    return true;
}

bool CFilterOverrides::Load(const std::string& path) {
    filters_.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return ::access(path.c_str(), F_OK) != 0;  // missing: empty; unreadable: a failure
    std::stringstream text;
    text << in.rdbuf();
    Parse(text.str());
    return true;
}

void CFilterOverrides::Parse(const std::string& text) {
    filters_.clear();
    std::istringstream in(text);
    std::string line, section;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            if (!ValidName(section)) section.clear();
            continue;
        }
        const size_t equals = line.find('=');
        if (section.empty() || equals == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, equals)), value = Trim(line.substr(equals + 1));
        if (key == "Merit") {
            if (const auto merit = HexValue(value)) filters_[section].merit = *merit;
        } else if (key == "Unregistered") {
            if (value == "true") filters_[section].unregistered = true;
        } else if (key == "Removed") {
            if (const auto removed = RemovedOf(value)) {
                auto& list = filters_[section].removed;
                if (std::find(list.begin(), list.end(), *removed) == list.end()) list.push_back(*removed);
            }
        }
    }
    Prune();
}

std::string CFilterOverrides::Text() const {
    std::string out = "# Changes to the registered filters made in Torvo's expert mode.\n";
    for (const auto& [name, o] : filters_) {
        if (o.Empty()) continue;
        out += "\n[" + name + "]\n";
        if (o.merit) out += Format("Merit=0x%08x\n", *o.merit);
        if (o.unregistered) out += "Unregistered=true\n";
        for (const RemovedMediaType& r : o.removed)
            out += std::string("Removed=") + (r.output ? "out " : "in ") + GuidString(r.pair.major) + " " +
                   GuidString(r.pair.subtype) + "\n";
    }
    return out;
}

bool CFilterOverrides::Save(const std::string& path) const {
    bool empty = true;
    for (const auto& [name, o] : filters_) empty = empty && o.Empty();
    if (empty) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    const std::string dir = path.substr(0, path.rfind('/'));
    for (size_t at = 1; at != std::string::npos && at < dir.size(); at = dir.find('/', at + 1))
        ::mkdir(dir.substr(0, at).c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    const std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
    const std::string text = Text();
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temporary.c_str());
    return ok;
}

const FilterOverride* CFilterOverrides::Find(const std::string& name) const {
    const auto found = filters_.find(name);
    return found == filters_.end() ? nullptr : &found->second;
}

void CFilterOverrides::Prune() {
    std::erase_if(filters_, [](const auto& item) { return item.second.Empty(); });
}

std::optional<uint32_t> CFilterOverrides::Rank(const std::string& name) const {
    const FilterOverride* o = Find(name);
    if (!o) return std::nullopt;
    if (o->unregistered) return 0u;
    if (o->merit) return RankFromMerit(*o->merit);
    return std::nullopt;
}

std::string CFilterOverrides::RankEnvironment(const std::string& inherited) const {
    std::string out = inherited;
    for (const auto& [name, o] : filters_) {
        const auto rank = Rank(name);
        if (!rank) continue;
        if (!out.empty()) out += ",";
        out += name + ":" + std::to_string(*rank);
    }
    return out;
}

}  // namespace torvo
