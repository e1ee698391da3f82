#include "settings/Prefs.h"

#include <array>
#include <charconv>
#include <filesystem>
#include <string_view>

#include "base/Text.h"

namespace torvo {

namespace {

struct IntPref {
    const char* name;
    int32_t CPrefs::*value;
    int32_t fallback;
};

// ExportEnabled is first: a save leaves it out unless asked.
constexpr std::array<IntPref, 12> kIntPrefs = {{
    {"ExportEnabled", &CPrefs::exportEnabled, 0},
    {"ScanEntireFile", &CPrefs::scanEntireFile, 1},
    {"UseCodecInfo", &CPrefs::useCodecInfo, 1},
    {"PreloadCodecInfo", &CPrefs::preloadCodecInfo, 1},
    {"ExpertMode", &CPrefs::expertMode, 1},
    {"AllowOpenWith", &CPrefs::allowOpenWith, 1},
    {"SaveWindowSize", &CPrefs::saveWindowSize, 1},
    {"StaticLogo", &CPrefs::staticLogo, 0},
    {"MonochromeBackground", &CPrefs::monochromeBackground, 0},
    {"ExportOverwriteOk", &CPrefs::exportOverwriteOk, 0},
    {"ExportMode", &CPrefs::exportMode, 1},
    {"ExportFormatSrc", &CPrefs::exportFormatSrc, 0},
}};

struct TextPref {
    const char* name;
    std::string CPrefs::*value;
    const char* fallback;
    bool inProgramDir;  // the fallback is a file in the program's folder
};

constexpr std::array<TextPref, 6> kTextPrefs = {{
    {"ExportFile", &CPrefs::exportFile, "", false},
    {"ExportPath", &CPrefs::exportPath, "", false},
    {"ExportNameOfFileForFormat", &CPrefs::exportNameOfFileForFormat, kDefaultTemplateName, true},
    {"LastMediaFile", &CPrefs::lastMediaFile, "", false},
    {"ExportEncoding", &CPrefs::exportEncoding, kExportEncodingUtf8, false},
    {"Language", &CPrefs::language, kLanguageSystem, false},
}};

// "%d,%d,%d,%d,%d,%d" exactly; anything else is not a placement.
std::optional<WindowPlacement> ParsePlacement(std::string_view text) {
    std::array<int, 6> values{};
    const char* pos = text.data();
    const char* const end = text.data() + text.size();
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            if (pos == end || *pos != ',') return std::nullopt;
            ++pos;
        }
        const auto [next, error] = std::from_chars(pos, end, values[i]);
        if (error != std::errc()) return std::nullopt;
        pos = next;
    }
    if (pos != end) return std::nullopt;
    return WindowPlacement{values[0], values[1], values[2], values[3], values[4], values[5]};
}

constexpr const char* kWindowPlacement = "WindowPlacement";

}  // namespace

CPrefs::CPrefs(ISettingsStore& store, std::string programDir) : store_(store), programDir_(std::move(programDir)) {
    exportNameOfFileForFormat = programDir_ + kDefaultTemplateName;
}

void CPrefs::Load() {
    for (const IntPref& pref : kIntPrefs) this->*pref.value = store_.ReadInt(kPrefsSection, pref.name).value_or(pref.fallback);
    for (const TextPref& pref : kTextPrefs) {
        const std::optional<std::string> text = store_.ReadText(kPrefsSection, pref.name);
        const std::string fallback = (pref.inProgramDir ? programDir_ : std::string()) + pref.fallback;
        this->*pref.value = std::string(TruncateUtf8(text.value_or(fallback), kPrefsTextChars));
    }
    appVersion = store_.ReadInt(kPrefsSection, "AppVersion").value_or(0);
    appBuild = store_.ReadInt(kPrefsSection, "AppBuild").value_or(0);
    // Settings left by no earlier version: gather the codec inventory at start-up.
    if (appVersion == 0) preloadCodecInfo = 1;
}

void CPrefs::UseShippedTemplate(const std::string& folder) {
    const std::string besideProgram = programDir_ + kDefaultTemplateName;
    std::error_code error;
    if (folder.empty() || exportNameOfFileForFormat != besideProgram || std::filesystem::exists(besideProgram, error))
        return;
    const std::string shipped = (std::filesystem::path(folder) / kDefaultTemplateName).string();
    if (std::filesystem::exists(shipped, error)) exportNameOfFileForFormat = shipped;
}

bool CPrefs::Save(bool withExportEnabled) {
    if (cleared_) return true;
    bool allWritten = true;
    for (const IntPref& pref : kIntPrefs) {
        if (pref.value == &CPrefs::exportEnabled && !withExportEnabled) continue;
        allWritten &= store_.WriteInt(kPrefsSection, pref.name, this->*pref.value);
    }
    for (const TextPref& pref : kTextPrefs) {
        allWritten &= store_.WriteText(kPrefsSection, pref.name, TruncateUtf8(this->*pref.value, kPrefsTextChars));
    }
    allWritten &= store_.WriteInt(kPrefsSection, "AppVersion", kAppVersionStored);
    allWritten &= store_.WriteInt(kPrefsSection, "AppBuild", kAppBuildStored);
    return allWritten;
}

bool CPrefs::Clear() {
    cleared_ = true;
    return store_.Clear();
}

std::optional<WindowPlacement> CPrefs::LoadWindowPlacement() {
    if (saveWindowSize != 1) return std::nullopt;
    const std::optional<std::string> text = store_.ReadText(kPrefsSection, kWindowPlacement);
    if (!text) return std::nullopt;
    return ParsePlacement(*text);
}

bool CPrefs::SaveWindowPlacement(const WindowPlacement& p) {
    if (cleared_ || saveWindowSize != 1) return true;
    return store_.WriteText(kPrefsSection, kWindowPlacement,
                            Format("%d,%d,%d,%d,%d,%d", p.left, p.top, p.right, p.bottom, p.showCommand, p.flags));
}

}  // namespace torvo
