// Shortcuts, the Open-with registration and the settings file's place, all in
// a scratch home folder.
#include <gtest/gtest.h>

#include "ScratchDir.h"
#include "settings/DesktopIntegration.h"

namespace torvo {
namespace {

using testing::ReadWholeFile;
using testing::ScopedEnv;
using testing::ScratchDir;
namespace fs = std::filesystem;

class DesktopIntegration : public ::testing::Test {
protected:
    void SetUp() override {
        dirs_.home = home_.path();
        dirs_.configHome = home_ / ".config";
        dirs_.dataHome = home_ / ".local/share";
        dirs_.desktopDir = home_ / "Рабочий стол";
    }
    ScratchDir home_;
    UserDirs dirs_;
    const std::string program_ = "/opt/my apps/torvo";
};

TEST_F(DesktopIntegration, FoldersComeFromHomeAndTheXdgVariables) {
    const ScopedEnv home("HOME", home_.path().c_str());
    const ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    const ScopedEnv data("XDG_DATA_HOME", nullptr);
    const ScopedEnv desktop("XDG_DESKTOP_DIR", nullptr);
    UserDirs dirs = UserDirs::FromEnvironment();
    EXPECT_EQ(dirs.SettingsFile(), home_.path() / ".config/Quellmark/Torvo.conf");
    EXPECT_EQ(dirs.ApplicationsDir(), home_.path() / ".local/share/applications");
    EXPECT_EQ(dirs.desktopDir, home_.path() / "Desktop");

    home_.Write(".config/user-dirs.dirs", "# made by xdg-user-dirs\nXDG_DESKTOP_DIR=\"$HOME/Стол\"\n");
    EXPECT_EQ(UserDirs::FromEnvironment().desktopDir, home_.path() / "Стол");

    const ScopedEnv overridden("XDG_CONFIG_HOME", (home_ / "cfg").c_str());
    const ScopedEnv desktopSet("XDG_DESKTOP_DIR", (home_ / "desk").c_str());
    dirs = UserDirs::FromEnvironment();
    EXPECT_EQ(dirs.SettingsFile(), home_ / "cfg/Quellmark/Torvo.conf");
    EXPECT_EQ(dirs.desktopDir, home_ / "desk");
}

TEST_F(DesktopIntegration, ShortcutsAreCreatedAndDeleted) {
    for (const ShortcutPlace place : kShortcutPlaces) {
        EXPECT_FALSE(ShortcutExists(dirs_, place));
        ASSERT_TRUE(CreateShortcut(dirs_, place, program_));
        EXPECT_TRUE(ShortcutExists(dirs_, place));
    }
    const std::string desktop = ReadWholeFile(ShortcutPath(dirs_, ShortcutPlace::kDesktop));
    EXPECT_NE(desktop.find("Exec=\"/opt/my apps/torvo\" %F\n"), std::string::npos) << desktop;
    EXPECT_EQ(desktop.find("NoDisplay"), std::string::npos);
    const fs::path script = ShortcutPath(dirs_, ShortcutPlace::kFileManagerScripts);
    EXPECT_EQ(script, dirs_.dataHome / "nautilus/scripts/Torvo");
    EXPECT_NE(ReadWholeFile(script).find("exec '/opt/my apps/torvo' \"$@\""), std::string::npos);
    EXPECT_NE(fs::status(script).permissions() & fs::perms::owner_exec, fs::perms::none);

    for (const ShortcutPlace place : kShortcutPlaces) {
        ASSERT_TRUE(DeleteShortcut(dirs_, place));
        EXPECT_FALSE(ShortcutExists(dirs_, place));
    }
    EXPECT_TRUE(DeleteShortcut(dirs_, ShortcutPlace::kDesktop));  // already gone
}

TEST_F(DesktopIntegration, ExecQuotingKeepsSpecialCharacters) {
    ASSERT_TRUE(CreateShortcut(dirs_, ShortcutPlace::kDesktop, "/opt/a\"b$c/torvo"));
    EXPECT_NE(ReadWholeFile(ShortcutPath(dirs_, ShortcutPlace::kDesktop)).find("Exec=\"/opt/a\\\\\"b\\\\$c/torvo\" %F"),
              std::string::npos);
    ASSERT_TRUE(CreateShortcut(dirs_, ShortcutPlace::kFileManagerScripts, "/opt/it's/torvo"));
    EXPECT_NE(ReadWholeFile(ShortcutPath(dirs_, ShortcutPlace::kFileManagerScripts)).find("exec '/opt/it'\\''s/torvo'"),
              std::string::npos);
}

TEST_F(DesktopIntegration, OpenWithAndTheMenuShareOneEntry) {
    const fs::path entry = dirs_.ApplicationsDir() / "torvo-user.desktop";
    // Refreshing does nothing while there is no registration.
    ASSERT_TRUE(RegisterOpenWith(dirs_, program_, OpenWithAction::kRefreshExisting));
    EXPECT_FALSE(fs::exists(entry));

    ASSERT_TRUE(RegisterOpenWith(dirs_, program_, OpenWithAction::kCreate));
    EXPECT_TRUE(IsRegisteredForOpenWith(dirs_));
    EXPECT_FALSE(ShortcutExists(dirs_, ShortcutPlace::kApplicationsMenu));  // hidden from the menu
    std::string text = ReadWholeFile(entry);
    EXPECT_NE(text.find("MimeType=video/x-msvideo;"), std::string::npos);
    EXPECT_NE(text.find("NoDisplay=true"), std::string::npos);

    ASSERT_TRUE(CreateShortcut(dirs_, ShortcutPlace::kApplicationsMenu, program_));
    EXPECT_TRUE(ShortcutExists(dirs_, ShortcutPlace::kApplicationsMenu));
    EXPECT_TRUE(IsRegisteredForOpenWith(dirs_));

    // Removing the menu shortcut keeps the registration, and the other way round.
    ASSERT_TRUE(DeleteShortcut(dirs_, ShortcutPlace::kApplicationsMenu));
    EXPECT_TRUE(IsRegisteredForOpenWith(dirs_));
    EXPECT_FALSE(ShortcutExists(dirs_, ShortcutPlace::kApplicationsMenu));
    text = ReadWholeFile(entry);
    EXPECT_NE(text.find("Exec=\"/opt/my apps/torvo\" %F"), std::string::npos);
    ASSERT_TRUE(CreateShortcut(dirs_, ShortcutPlace::kApplicationsMenu, program_));
    ASSERT_TRUE(RegisterOpenWith(dirs_, program_, OpenWithAction::kRemove));
    EXPECT_FALSE(IsRegisteredForOpenWith(dirs_));
    EXPECT_TRUE(ShortcutExists(dirs_, ShortcutPlace::kApplicationsMenu));

    // With neither left the entry goes.
    ASSERT_TRUE(DeleteShortcut(dirs_, ShortcutPlace::kApplicationsMenu));
    EXPECT_FALSE(fs::exists(entry));
}

TEST_F(DesktopIntegration, ApplyingAndRefreshingShortcutChoices) {
    ASSERT_TRUE(ApplyShortcuts(dirs_, program_, {false, false, false}, {true, false, true}));
    EXPECT_TRUE(ShortcutExists(dirs_, ShortcutPlace::kDesktop));
    EXPECT_FALSE(ShortcutExists(dirs_, ShortcutPlace::kApplicationsMenu));
    EXPECT_TRUE(ShortcutExists(dirs_, ShortcutPlace::kFileManagerScripts));

    // An unchanged box is left alone even when its file went missing meanwhile.
    fs::remove(ShortcutPath(dirs_, ShortcutPlace::kDesktop));
    ASSERT_TRUE(ApplyShortcuts(dirs_, program_, {true, false, true}, {true, true, false}));
    EXPECT_FALSE(ShortcutExists(dirs_, ShortcutPlace::kDesktop));
    EXPECT_TRUE(ShortcutExists(dirs_, ShortcutPlace::kApplicationsMenu));
    EXPECT_FALSE(ShortcutExists(dirs_, ShortcutPlace::kFileManagerScripts));

    ASSERT_TRUE(RefreshShortcuts(dirs_, "/usr/bin/torvo", {true, true, false}));
    EXPECT_TRUE(ShortcutExists(dirs_, ShortcutPlace::kDesktop));
    EXPECT_NE(ReadWholeFile(ShortcutPath(dirs_, ShortcutPlace::kApplicationsMenu)).find("/usr/bin/torvo"),
              std::string::npos);
}

// The installed entry is torvo.desktop in a system data folder; a user entry
// under that id would stand in front of it (and hide it with NoDisplay).
TEST_F(DesktopIntegration, TheUserEntryKeepsOutOfTheInstalledEntrysWay) {
    const fs::path installedId = dirs_.ApplicationsDir() / "torvo.desktop";
    ASSERT_TRUE(CreateShortcut(dirs_, ShortcutPlace::kApplicationsMenu, program_));
    ASSERT_TRUE(RegisterOpenWith(dirs_, program_, OpenWithAction::kCreate));
    EXPECT_FALSE(fs::exists(installedId));

    EXPECT_FALSE(InstalledEntryPresent(dirs_, home_ / "prefix/bin"));
    home_.Write("prefix/share/applications/torvo.desktop", "[Desktop Entry]\n");
    EXPECT_TRUE(InstalledEntryPresent(dirs_, home_ / "prefix/bin"));
    EXPECT_FALSE(InstalledEntryPresent(dirs_, home_ / "elsewhere/bin"));
    dirs_.dataDirs = {home_ / "nothing", home_ / "system"};
    home_.Write("system/applications/torvo.desktop", "[Desktop Entry]\n");
    EXPECT_TRUE(InstalledEntryPresent(dirs_, {}));

    // An entry an earlier version wrote under the installed id moves, with
    // what it provided; a user's own entry of that name stays.
    ASSERT_TRUE(DeleteShortcut(dirs_, ShortcutPlace::kApplicationsMenu));
    fs::rename(dirs_.ApplicationsDir() / "torvo-user.desktop", installedId);
    ASSERT_FALSE(IsRegisteredForOpenWith(dirs_));
    ASSERT_TRUE(MoveOldUserEntry(dirs_));
    EXPECT_FALSE(fs::exists(installedId));
    EXPECT_TRUE(IsRegisteredForOpenWith(dirs_));
    EXPECT_FALSE(ShortcutExists(dirs_, ShortcutPlace::kApplicationsMenu));
    const std::string own = "[Desktop Entry]\nType=Application\nName=Torvo\nExec=torvo --my-way %F\n";
    home_.Write(".local/share/applications/torvo.desktop", own);
    ASSERT_TRUE(MoveOldUserEntry(dirs_));
    EXPECT_EQ(ReadWholeFile(installedId), own);

    const ScopedEnv unset("XDG_DATA_DIRS", nullptr);
    EXPECT_EQ(UserDirs::FromEnvironment().dataDirs, (std::vector<fs::path>{"/usr/local/share", "/usr/share"}));
    const ScopedEnv set("XDG_DATA_DIRS", "/opt/share:relative/share::/usr/share/");
    EXPECT_EQ(UserDirs::FromEnvironment().dataDirs, (std::vector<fs::path>{"/opt/share", "/usr/share/"}));
}

TEST_F(DesktopIntegration, RemovingTheSettingsFileLeavesOnlyNonEmptyFolders) {
    const fs::path file = dirs_.configHome / "Quellmark/Torvo.conf";
    home_.Write(".config/Quellmark/Torvo.conf", "[x]\n");
    ASSERT_TRUE(RemoveFileAndEmptyFolders(file, dirs_.configHome));
    EXPECT_FALSE(fs::exists(dirs_.configHome / "Quellmark"));
    EXPECT_TRUE(fs::exists(dirs_.configHome));  // never above the stop

    home_.Write(".config/Quellmark/Torvo.conf", "[x]\n");
    home_.Write(".config/Quellmark/TorvoFilters.conf", "[y]\n");
    ASSERT_TRUE(RemoveFileAndEmptyFolders(file, dirs_.configHome));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(fs::exists(dirs_.configHome / "Quellmark/TorvoFilters.conf"));
    EXPECT_TRUE(RemoveFileAndEmptyFolders(file, dirs_.configHome));  // already gone
}

}  // namespace
}  // namespace torvo
