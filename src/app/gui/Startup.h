// Start-up of the desktop program in its order: the settings, the first-run
// step once, the codec database (no window without it), the main window and
// the command line's names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "MainWindow.h"
#include "analysis/MessageBox.h"
#include "base/Translate.h"
#include "settings/DesktopIntegration.h"
#include "settings/Prefs.h"
#include "settings/SettingsStore.h"

namespace torvo::gui {

struct StartupOptions {
    ISettingsStore* store = nullptr;
    IMessageBox* messages = nullptr;
    std::string programPath;    // the program file, for shortcuts
    std::string programDir;     // with its trailing '/'
    std::string databasePath;   // empty: the usual search for the codec database
    UserDirs dirs;
    std::vector<std::string> args;  // the command line without the program name
    bool show = true;
};

class CTorvoApp {
public:
    explicit CTorvoApp(StartupOptions options);
    ~CTorvoApp();

    // False, after the database's message, when there is no database.
    bool Start();
    CTorvoDlg* Window() const { return window_.get(); }
    CPrefs& Prefs() { return prefs_; }

private:
    std::unique_ptr<CReadDatabase> LoadDatabase();
    // Created on the first run, kept pointing at this program afterwards.
    void RegisterForOpenWith(bool firstRun);

    StartupOptions options_;
    CPrefs prefs_;
    std::unique_ptr<CTorvoDlg> window_;
};

// The window's language for the stored choice ("ru", "en"; anything else,
// the empty default included, follows the locale).
Language WindowLanguage(std::string_view stored);

// The text of the first-run step.
extern const char* const kFirstRunText;

}  // namespace torvo::gui
