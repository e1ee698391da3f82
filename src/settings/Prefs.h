// The user's settings for the whole run, stored per user under the section
// "v2.6 Settings". One object for the whole program; every part reads its
// options from here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "settings/SettingsStore.h"

namespace torvo {

inline constexpr const char* kPrefsSection = "v2.6 Settings";
// What every save writes as AppVersion and AppBuild.
inline constexpr int32_t kAppVersionStored = 0x27010;
inline constexpr int32_t kAppBuildStored = 0x20070222;
// Paths and texts keep at most this many characters.
inline constexpr size_t kPrefsTextChars = 259;
inline constexpr const char* kDefaultTemplateName = "ExportFormat.txt";
// Export files are written in UTF-8 unless ExportEncoding asks for "windows-1251".
inline constexpr const char* kExportEncodingUtf8 = "utf-8";
inline constexpr const char* kExportEncodingCp1251 = "windows-1251";
// The window's language as stored; empty follows the locale.
inline constexpr const char* kLanguageSystem = "";

// The main window's normal position and state.
struct WindowPlacement {
    int left = 0, top = 0, right = 0, bottom = 0;
    int showCommand = 0;
    int flags = 0;
    bool operator==(const WindowPlacement&) const = default;
};

class CPrefs {
public:
    // programDir (with its trailing '/') gives the default template file.
    CPrefs(ISettingsStore& store, std::string programDir);

    // Reads every value; an absent or unreadable one takes its default.
    void Load();
    // While the own template is still the default one and no such file is
    // beside the program, the example shipped in folder (beside the codec
    // database) is named instead.
    void UseShippedTemplate(const std::string& folder);
    // Writes every value except the window placement, ExportEnabled only when
    // asked, and AppVersion/AppBuild. Returns whether every write succeeded;
    // after Clear it writes nothing and succeeds.
    bool Save(bool withExportEnabled);
    // Removes the stored settings and stops every later write in this run.
    bool Clear();
    bool Cleared() const { return cleared_; }

    // Only while SaveWindowSize is 1.
    std::optional<WindowPlacement> LoadWindowPlacement();
    bool SaveWindowPlacement(const WindowPlacement& placement);

    int32_t scanEntireFile = 1;
    int32_t useCodecInfo = 1;
    int32_t preloadCodecInfo = 1;
    int32_t expertMode = 1;
    int32_t allowOpenWith = 1;
    int32_t saveWindowSize = 1;
    int32_t staticLogo = 0;
    int32_t monochromeBackground = 0;
    int32_t exportEnabled = 0;
    int32_t exportOverwriteOk = 0;
    int32_t exportMode = 1;
    int32_t exportFormatSrc = 0;
    std::string exportFile;
    std::string exportPath;
    std::string exportNameOfFileForFormat;
    std::string lastMediaFile;
    std::string exportEncoding = kExportEncodingUtf8;
    // The window's language: kLanguageSystem (the locale's), "ru" or "en".
    std::string language;
    // As read at load: 0 means no earlier version stored settings here.
    int32_t appVersion = 0;
    int32_t appBuild = 0;
    // The user's export template once it has been read (export writer).
    std::string loadedTemplate;

private:
    ISettingsStore& store_;
    std::string programDir_;
    bool cleared_ = false;
};

}  // namespace torvo
