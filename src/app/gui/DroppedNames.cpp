#include "DroppedNames.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <string_view>

namespace torvo::gui {
namespace {

// Extensions of the containers and elementary streams the analysis reads.
constexpr std::array<std::string_view, 44> kMediaExtensions = {
    "avi", "divx", "wav", "mpg", "mpeg", "mpe", "m1v", "m2v", "mpv", "vob", "dat", "m2p", "ts",   "m2ts", "mts",
    "tp",  "mp4",  "m4v", "m4a", "mov",  "qt",  "3gp", "3g2", "flv", "f4v", "asf", "wmv", "wma", "mp3",  "mp2",
    "mpa", "aac",  "ac3", "dts", "dv",   "264", "h264", "mkv", "webm", "bin", "iso", "img", "ogg", "ogm",
};

}  // namespace

bool HasMediaExtension(const std::string& path) {
    const std::filesystem::path p(path);
    std::string ext = p.extension().string();
    if (ext.size() < 2) return false;
    ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return std::find(kMediaExtensions.begin(), kMediaExtensions.end(), ext) != kMediaExtensions.end();
}

std::vector<std::string> ExpandDroppedNames(const std::vector<std::string>& dropped, size_t limit) {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    for (const std::string& name : dropped) {
        if (names.size() >= limit) break;
        std::error_code error;
        if (!fs::is_directory(name, error)) {
            names.push_back(name);
            continue;
        }
        std::vector<std::string> inside;
        // A folder of a million files must not stall the window: stop
        // collecting well past what the queue can take.
        const size_t collectCap = limit * 4 + 1000;
        for (fs::recursive_directory_iterator it(name, fs::directory_options::skip_permission_denied, error), end;
             !error && it != end && inside.size() < collectCap; it.increment(error)) {
            std::error_code ignored;
            if (it->is_regular_file(ignored) && HasMediaExtension(it->path().string()))
                inside.push_back(it->path().string());
        }
        std::sort(inside.begin(), inside.end());
        for (std::string& file : inside) {
            if (names.size() >= limit) break;
            names.push_back(std::move(file));
        }
    }
    return names;
}

}  // namespace torvo::gui
