#include "settings/DesktopIntegration.h"
#include "base/Translate.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>

namespace torvo {

namespace fs = std::filesystem;

namespace {

// The installed entry's id; the desktop folder's shortcut has that name too.
constexpr const char* kEntryName = "torvo.desktop";
// The applications-folder entry the shortcut boxes and Open-with write.
constexpr const char* kUserEntryName = "torvo-user.desktop";
// The comment line of the entries this program writes; the installed entry
// has another, so an old user entry of ours can be told from a user's own.
constexpr const char* kWrittenComment = "Comment=" N_("Сведения о кодеках медиафайла");
constexpr const char* kScriptName = "Torvo";
// The media types the analysis reads.
constexpr const char* kMimeTypes =
    "video/x-msvideo;video/avi;video/msvideo;video/mpeg;video/x-mpeg;video/mp2t;video/mp4;video/x-m4v;"
    "video/quicktime;video/3gpp;video/x-ms-asf;video/x-ms-wmv;video/x-flv;video/dv;video/h264;video/h265;"
    "audio/mpeg;audio/x-mp3;audio/mp4;audio/aac;audio/x-aac;audio/ac3;audio/vnd.dts;audio/x-wav;audio/wav;"
    "audio/x-ms-wma;audio/flac;audio/ogg;";

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

// XDG_DESKTOP_DIR="$HOME/Desktop" as user-dirs.dirs writes it.
std::string DesktopFromUserDirsFile(const fs::path& file, const std::string& home) {
    std::ifstream in(file);
    std::string line;
    constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
    while (std::getline(in, line)) {
        if (!line.starts_with(kKey)) continue;
        std::string value = line.substr(kKey.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
        if (value.starts_with("$HOME")) value = home + value.substr(5);
        if (!value.empty() && value.front() == '/') return value;
    }
    return {};
}

// The Exec value quoting of the desktop entry format.
std::string QuoteForExec(const std::string& path) {
    std::string quoted = "\"";
    for (const char c : path) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += "\\\\";
        quoted += c;
    }
    return quoted + "\"";
}

std::string QuoteForShell(const std::string& path) {
    std::string quoted = "'";
    for (const char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct EntryState {
    bool inMenu = false;
    bool openWith = false;
};

std::string DesktopEntry(const std::string& programPath, EntryState state) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Torvo\n"
        + std::string(kWrittenComment) + "\n" +
        "Exec=" + QuoteForExec(programPath) + " %F\n"
        "Terminal=false\n"
        "Categories=AudioVideo;Video;\n";
    if (state.openWith) text += std::string("MimeType=") + kMimeTypes + "\n";
    if (!state.inMenu) text += "NoDisplay=true\n";
    return text;
}

std::string LauncherScript(const std::string& programPath) {
    return "#!/bin/sh\n# Opens the selected files in Torvo.\nexec " + QuoteForShell(programPath) + " \"$@\"\n";
}

bool WriteFile(const fs::path& path, const std::string& text, bool executable) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) return false;
    }
    if (executable) {
        fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, error);
    }
    return !error;
}

bool RemoveFile(const fs::path& path) {
    std::error_code error;
    fs::remove(path, error);
    return !error;
}

fs::path ApplicationsEntry(const UserDirs& dirs) { return dirs.ApplicationsDir() / kUserEntryName; }

std::vector<fs::path> DataDirsFromEnvironment() {
    std::vector<fs::path> dirs;
    const std::string list = EnvOr("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        const fs::path dir = list.substr(start, end - start);
        if (dir.is_absolute()) dirs.push_back(dir);  // relative entries are invalid and skipped
        start = end + 1;
    }
    return dirs;
}

// What the applications-folder entry currently provides.
std::optional<EntryState> ReadEntryState(const UserDirs& dirs) {
    std::ifstream in(ApplicationsEntry(dirs));
    if (!in) return std::nullopt;
    EntryState state{true, false};
    std::string line;
    while (std::getline(in, line)) {
        if (line == "NoDisplay=true") state.inMenu = false;
        if (line.starts_with("MimeType=")) state.openWith = true;
    }
    return state;
}

// Writes the entry for the wanted state, or removes it when it provides nothing.
bool WriteEntryState(const UserDirs& dirs, const std::string& programPath, EntryState state) {
    if (!state.inMenu && !state.openWith) return RemoveFile(ApplicationsEntry(dirs));
    return WriteFile(ApplicationsEntry(dirs), DesktopEntry(programPath, state), false);
}

}  // namespace

UserDirs UserDirs::SettingsDirsFromEnvironment() {
    UserDirs dirs;
    dirs.home = EnvOr("HOME", "/");
    dirs.configHome = EnvOr("XDG_CONFIG_HOME", (dirs.home / ".config").string());
    return dirs;
}

UserDirs UserDirs::FromEnvironment() {
    UserDirs dirs = SettingsDirsFromEnvironment();
    dirs.dataHome = EnvOr("XDG_DATA_HOME", (dirs.home / ".local" / "share").string());
    std::string desktop = EnvOr("XDG_DESKTOP_DIR", "");
    if (desktop.empty()) desktop = DesktopFromUserDirsFile(dirs.configHome / "user-dirs.dirs", dirs.home.string());
    dirs.desktopDir = desktop.empty() ? dirs.home / "Desktop" : fs::path(desktop);
    dirs.dataDirs = DataDirsFromEnvironment();
    return dirs;
}

fs::path UserDirs::SettingsFile() const { return configHome / "Quellmark" / "Torvo.conf"; }

fs::path UserDirs::ApplicationsDir() const { return dataHome / "applications"; }

fs::path ShortcutPath(const UserDirs& dirs, ShortcutPlace place) {
    switch (place) {
        case ShortcutPlace::kDesktop: return dirs.desktopDir / kEntryName;
        case ShortcutPlace::kApplicationsMenu: return ApplicationsEntry(dirs);
        case ShortcutPlace::kFileManagerScripts: break;
    }
    return dirs.dataHome / "nautilus" / "scripts" / kScriptName;
}

bool ShortcutExists(const UserDirs& dirs, ShortcutPlace place) {
    if (place == ShortcutPlace::kApplicationsMenu) {
        const std::optional<EntryState> state = ReadEntryState(dirs);
        return state && state->inMenu;
    }
    std::error_code error;
    return fs::is_regular_file(ShortcutPath(dirs, place), error);
}

bool CreateShortcut(const UserDirs& dirs, ShortcutPlace place, const std::string& programPath) {
    switch (place) {
        case ShortcutPlace::kDesktop:
            return WriteFile(ShortcutPath(dirs, place), DesktopEntry(programPath, {true, false}), true);
        case ShortcutPlace::kApplicationsMenu:
            return WriteEntryState(dirs, programPath, {true, IsRegisteredForOpenWith(dirs)});
        case ShortcutPlace::kFileManagerScripts: break;
    }
    return WriteFile(ShortcutPath(dirs, place), LauncherScript(programPath), true);
}

bool DeleteShortcut(const UserDirs& dirs, ShortcutPlace place) {
    if (place != ShortcutPlace::kApplicationsMenu) return RemoveFile(ShortcutPath(dirs, place));
    const std::optional<EntryState> state = ReadEntryState(dirs);
    if (!state) return true;
    if (!state->openWith) return RemoveFile(ApplicationsEntry(dirs));
    // The entry stays as the Open-with registration, hidden from the menu.
    std::ifstream in(ApplicationsEntry(dirs));
    std::string line, text;
    while (std::getline(in, line)) {
        if (!line.starts_with("NoDisplay=")) text += line + "\n";
    }
    return WriteFile(ApplicationsEntry(dirs), text + "NoDisplay=true\n", false);
}

bool ApplyShortcuts(const UserDirs& dirs, const std::string& programPath, const ShortcutChoice& before,
                    const ShortcutChoice& after) {
    bool ok = true;
    for (size_t i = 0; i < kShortcutPlaces.size(); ++i) {
        if (before[i] == after[i]) continue;
        ok &= after[i] ? CreateShortcut(dirs, kShortcutPlaces[i], programPath)
                       : DeleteShortcut(dirs, kShortcutPlaces[i]);
    }
    return ok;
}

bool RefreshShortcuts(const UserDirs& dirs, const std::string& programPath, const ShortcutChoice& wanted) {
    bool ok = true;
    for (const ShortcutPlace place : kShortcutPlaces) ok &= DeleteShortcut(dirs, place);
    return ApplyShortcuts(dirs, programPath, {false, false, false}, wanted) && ok;
}

bool RegisterOpenWith(const UserDirs& dirs, const std::string& programPath, OpenWithAction action) {
    const std::optional<EntryState> state = ReadEntryState(dirs);
    const bool inMenu = state && state->inMenu;
    switch (action) {
        case OpenWithAction::kCreate: return WriteEntryState(dirs, programPath, {inMenu, true});
        case OpenWithAction::kRefreshExisting:
            return !state || !state->openWith || WriteEntryState(dirs, programPath, {inMenu, true});
        case OpenWithAction::kRemove: break;
    }
    return !state || WriteEntryState(dirs, programPath, {inMenu, false});
}

bool IsRegisteredForOpenWith(const UserDirs& dirs) {
    const std::optional<EntryState> state = ReadEntryState(dirs);
    return state && state->openWith;
}

bool InstalledEntryPresent(const UserDirs& dirs, const fs::path& programDir) {
    std::error_code error;
    if (!programDir.empty() &&
        fs::is_regular_file((programDir / ".." / "share" / "applications" / kEntryName).lexically_normal(), error))
        return true;
    for (const fs::path& dir : dirs.dataDirs)
        if (fs::is_regular_file(dir / "applications" / kEntryName, error)) return true;
    return false;
}

bool MoveOldUserEntry(const UserDirs& dirs) {
    const fs::path old = dirs.ApplicationsDir() / kEntryName;
    std::ifstream in(old);
    if (!in) return true;
    bool written = false;
    for (std::string line; !written && std::getline(in, line);) written = line == kWrittenComment;
    in.close();
    if (!written) return true;
    std::error_code error;
    if (fs::exists(ApplicationsEntry(dirs), error)) return RemoveFile(old);
    fs::rename(old, ApplicationsEntry(dirs), error);
    return !error;
}

bool RemoveFileAndEmptyFolders(const fs::path& file, const fs::path& stopAt) {
    std::error_code error;
    fs::remove(file, error);
    if (error) return false;
    const fs::path stop = stopAt.lexically_normal();
    for (fs::path dir = file.parent_path().lexically_normal(); !dir.empty() && dir != stop && dir != dir.root_path();
         dir = dir.parent_path()) {
        if (!fs::is_directory(dir, error) || !fs::is_empty(dir, error)) break;
        if (!fs::remove(dir, error)) break;
    }
    return true;
}

}  // namespace torvo
