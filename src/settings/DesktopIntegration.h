// The program's place in the user's desktop: where its settings file lives,
// the Open-with registration and the three shortcuts. Every path comes from
// HOME and the XDG variables, so nothing here is tied to one machine.
#pragma once

#include <array>
#include <filesystem>
#include <string>

namespace torvo {

// The per-user folders, resolved once from the environment.
struct UserDirs {
    std::filesystem::path home;
    std::filesystem::path configHome;  // $XDG_CONFIG_HOME or ~/.config
    std::filesystem::path dataHome;    // $XDG_DATA_HOME or ~/.local/share
    std::filesystem::path desktopDir;  // $XDG_DESKTOP_DIR, user-dirs.dirs, or ~/Desktop

    static UserDirs FromEnvironment();

    // ~/.config/Quellmark/Torvo.conf
    std::filesystem::path SettingsFile() const;
    std::filesystem::path ApplicationsDir() const;
};

// The desktop folder, the applications menu and the file manager's scripts menu.
enum class ShortcutPlace { kDesktop, kApplicationsMenu, kFileManagerScripts };
inline constexpr std::array<ShortcutPlace, 3> kShortcutPlaces = {
    ShortcutPlace::kDesktop, ShortcutPlace::kApplicationsMenu, ShortcutPlace::kFileManagerScripts};

std::filesystem::path ShortcutPath(const UserDirs& dirs, ShortcutPlace place);
bool ShortcutExists(const UserDirs& dirs, ShortcutPlace place);
// Creates the folder when missing; the shortcut starts programPath.
bool CreateShortcut(const UserDirs& dirs, ShortcutPlace place, const std::string& programPath);
bool DeleteShortcut(const UserDirs& dirs, ShortcutPlace place);

// Which shortcuts the user wants. Applying creates or deletes only those that
// changed; refreshing deletes all three and creates the wanted ones again.
using ShortcutChoice = std::array<bool, 3>;
bool ApplyShortcuts(const UserDirs& dirs, const std::string& programPath, const ShortcutChoice& before,
                    const ShortcutChoice& after);
bool RefreshShortcuts(const UserDirs& dirs, const std::string& programPath, const ShortcutChoice& wanted);

// The Open-with registration is the MimeType list of the program's desktop
// entry in the applications folder, the same file the menu shortcut uses;
// without a menu shortcut the entry is hidden from the menu.
enum class OpenWithAction { kCreate, kRefreshExisting, kRemove };
bool RegisterOpenWith(const UserDirs& dirs, const std::string& programPath, OpenWithAction action);
bool IsRegisteredForOpenWith(const UserDirs& dirs);

// Removes file, then each folder above it that is left empty, up to but not
// including stopAt. A file that is already gone counts as removed.
bool RemoveFileAndEmptyFolders(const std::filesystem::path& file, const std::filesystem::path& stopAt);

}  // namespace torvo
