// The program's place in the user's desktop: where its settings file lives,
// the Open-with registration and the three shortcuts. Every path comes from
// HOME and the XDG variables, so nothing here is tied to one machine.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace torvo {

// The per-user folders, resolved once from the environment.
struct UserDirs {
    std::filesystem::path home;
    std::filesystem::path configHome;  // $XDG_CONFIG_HOME or ~/.config
    std::filesystem::path dataHome;    // $XDG_DATA_HOME or ~/.local/share
    std::filesystem::path desktopDir;  // $XDG_DESKTOP_DIR, user-dirs.dirs, or ~/Desktop
    // The system's data folders, where installed desktop entries live:
    // $XDG_DATA_DIRS or /usr/local/share:/usr/share.
    std::vector<std::filesystem::path> dataDirs;

    static UserDirs FromEnvironment();
    // Only home and configHome, which is all the settings need: no file is
    // read for them (the desktop folder is looked up in user-dirs.dirs).
    static UserDirs SettingsDirsFromEnvironment();

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
// without a menu shortcut the entry is hidden from the menu. That user entry
// has an id of its own (torvo-user.desktop): an entry with the installed id
// would stand in front of the installed one, and hide it with NoDisplay.

enum class OpenWithAction { kCreate, kRefreshExisting, kRemove };
bool RegisterOpenWith(const UserDirs& dirs, const std::string& programPath, OpenWithAction action);
bool IsRegisteredForOpenWith(const UserDirs& dirs);

// Whether the installed program's own desktop entry (torvo.desktop) is there:
// in the share folder next to the program's folder, or in a system data folder.
bool InstalledEntryPresent(const UserDirs& dirs, const std::filesystem::path& programDir);

// Earlier versions wrote the user entry under the installed entry's id; such
// an entry, when this program wrote it, is moved to the user entry's id (or
// removed when that one already exists). Another torvo.desktop in the
// applications folder is the user's own and stays. True when nothing failed.
bool MoveOldUserEntry(const UserDirs& dirs);

// Removes file, then each folder above it that is left empty, up to but not
// including stopAt. A file that is already gone counts as removed.
bool RemoveFileAndEmptyFolders(const std::filesystem::path& file, const std::filesystem::path& stopAt);

}  // namespace torvo
