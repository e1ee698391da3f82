#include "analysis/NameList.h"

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <string_view>

namespace torvo {
namespace {

// Extensions of the containers and elementary streams the analysis reads.
constexpr std::array<std::string_view, 44> kMediaExtensions = {
    "avi", "divx", "wav", "mpg", "mpeg", "mpe", "m1v", "m2v", "mpv", "vob", "dat", "m2p", "ts",   "m2ts", "mts",
    "tp",  "mp4",  "m4v", "m4a", "mov",  "qt",  "3gp", "3g2", "flv", "f4v", "asf", "wmv", "wma", "mp3",  "mp2",
    "mpa", "aac",  "ac3", "dts", "dv",   "264", "h264", "mkv", "webm", "bin", "iso", "img", "ogg", "ogm",
};

// PATH_MAX counts the terminating NUL.
constexpr size_t kMaxNameBytes = PATH_MAX - 1;

}  // namespace

NameListRead ReadNameList(std::istream& in, char separator) {
    NameListRead read;
    std::string entry;
    bool overlong = false;
    auto finish = [&] {
        if (separator == '\n' && !entry.empty() && entry.back() == '\r') entry.pop_back();
        if (overlong) ++read.overlong;
        else if (!entry.empty()) read.names.push_back(entry);
        entry.clear();
        overlong = false;
    };
    std::array<char, 65536> block;
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<size_t>(in.gcount());
        for (size_t i = 0; i < got; ++i) {
            const char c = block[i];
            if (c == separator) {
                finish();
            } else if (entry.size() <= kMaxNameBytes) {
                // One byte more than a path may hold, for a CR the end drops.
                entry.push_back(c);
            } else {
                overlong = true;
            }
        }
    }
    if (!entry.empty() || overlong) finish();
    return read;
}

bool HasMediaExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 >= path.size()) return false;
    if (dot == 0 || path[dot - 1] == '/') return false;  // ".avi" is a hidden file's name, not an extension
    std::string ext = path.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return std::find(kMediaExtensions.begin(), kMediaExtensions.end(), ext) != kMediaExtensions.end();
}

ExpandedNames ExpandFolders(const std::vector<std::string>& names, size_t limit) {
    namespace fs = std::filesystem;
    ExpandedNames out;
    auto take = [&out, limit](std::string name) {
        if (out.names.size() < limit) out.names.push_back(std::move(name));
        else ++out.leftOut;
    };
    for (const std::string& name : names) {
        std::error_code error;
        if (!fs::is_directory(name, error)) {
            take(name);
            continue;
        }
        std::vector<std::string> inside;
        const size_t collectCap = limit > (SIZE_MAX - 1000) / 4 ? SIZE_MAX : limit * 4 + 1000;
        fs::recursive_directory_iterator it(name, fs::directory_options::skip_permission_denied, error), end;
        for (; !error && it != end && inside.size() < collectCap; it.increment(error)) {
            std::error_code ignored;
            if (it->is_regular_file(ignored) && HasMediaExtension(it->path().string()))
                inside.push_back(it->path().string());
        }
        if (!error && it != end) out.searchCut = true;
        std::sort(inside.begin(), inside.end());
        for (std::string& file : inside) take(std::move(file));
    }
    return out;
}

}  // namespace torvo
