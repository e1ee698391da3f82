// Shared set-up of the desktop program's tests: an in-memory settings store,
// message boxes that record instead of waiting, scratch user folders, and the
// start-up of the real window on the bundled samples.
#pragma once

#include <QAction>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScratchDir.h"
#include "Startup.h"
#include "analysis/MessageBox.h"
#include "settings/SettingsStore.h"

namespace torvo::testing {

struct ShownMessage {
    std::string caption, text;
    MessageIcon icon;
};

class CRecordingMessageBox : public IMessageBox {
public:
    MessageAnswer Show(std::string_view caption, std::string_view text, MessageIcon icon, MessageButtons) override {
        shown.push_back({std::string(caption), std::string(text), icon});
        if (whileShown) whileShown();
        return answer;
    }
    std::vector<ShownMessage> shown;
    // Runs while the box is "open" (a real one runs an event loop there).
    std::function<void()> whileShown;
    MessageAnswer answer = MessageAnswer::kOk;
};

// The mnemonic letters of a menu's entries, lower case ("&&" is a plain ampersand).
inline QStringList Mnemonics(const QList<QAction*>& actions) {
    QStringList letters;
    for (const QAction* action : actions) {
        const QString text = QString(action->text()).replace("&&", "");
        const qsizetype at = text.indexOf('&');
        if (at >= 0 && at + 1 < text.size()) letters << text.mid(at + 1, 1).toLower();
    }
    return letters;
}

inline QStringList Duplicates(QStringList letters) {
    QStringList twice;
    letters.sort();
    for (qsizetype i = 1; i < letters.size(); ++i)
        if (letters[i] == letters[i - 1] && !twice.contains(letters[i])) twice << letters[i];
    return twice;
}

inline std::string Sample(const char* name) { return std::string(TORVO_TEST_DATA_DIR) + "/" + name; }
inline std::string ShippedDatabase() { return std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat"; }

// One started program: its own settings, messages and folders.
struct GuiRun {
    ScratchDir scratch;
    CMemorySettingsStore store;
    CRecordingMessageBox messages;
    std::unique_ptr<gui::CTorvoApp> app;

    GuiRun() {
        // An earlier run has stored settings, so the first-run step stays away.
        store.WriteInt(kPrefsSection, "AppVersion", kAppVersionStored);
    }
    gui::StartupOptions Options(std::vector<std::string> args) {
        gui::StartupOptions o;
        o.store = &store;
        o.messages = &messages;
        o.programDir = scratch.path().string() + "/";
        o.databasePath = ShippedDatabase();
        o.dirs.home = scratch.path();
        o.dirs.configHome = scratch / "config";
        o.dirs.dataHome = scratch / "data";
        o.dirs.desktopDir = scratch / "Desktop";
        o.args = std::move(args);
        return o;
    }
    // Starts the program; the window is shown.
    gui::CTorvoDlg* Start(std::vector<std::string> args = {}) {
        app = std::make_unique<gui::CTorvoApp>(Options(std::move(args)));
        return app->Start() ? app->Window() : nullptr;
    }
};

}  // namespace torvo::testing
