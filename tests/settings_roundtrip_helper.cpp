// A separate process for the settings tests: "save" stores changed
// preferences, "load" prints what it reads, "clear-then-save" clears and then
// tries to save again. The settings file comes from HOME and XDG_CONFIG_HOME.
#include <iostream>
#include <string_view>

#include "QtSettingsStore.h"
#include "settings/Prefs.h"

int main(int argc, char** argv) {
    using namespace torvo;
    if (argc != 2) return 2;
    const std::string_view command = argv[1];
    const auto store = OpenUserSettingsStore();
    CPrefs prefs(*store, "/opt/torvo/");
    prefs.Load();
    if (command == "save") {
        prefs.scanEntireFile = 0;
        prefs.exportMode = 3;
        prefs.exportEnabled = 1;
        prefs.exportPath = "/tmp/экспорт, с запятой";
        prefs.lastMediaFile = "/media/фильм.avi";
        if (!prefs.SaveWindowPlacement({10, 20, 810, 620, 1, 0})) return 1;
        return prefs.Save(true) ? 0 : 1;
    }
    if (command == "load") {
        const auto placement = prefs.LoadWindowPlacement();
        std::cout << prefs.scanEntireFile << ' ' << prefs.exportMode << ' ' << prefs.exportEnabled << ' '
                  << prefs.preloadCodecInfo << ' ' << prefs.appVersion << ' ' << prefs.appBuild << '\n'
                  << prefs.exportPath << '\n'
                  << prefs.lastMediaFile << '\n'
                  << prefs.exportNameOfFileForFormat << '\n'
                  << (placement ? placement->right : -1) << '\n';
        return 0;
    }
    if (command == "clear-then-save") {
        if (!prefs.Clear()) return 1;
        prefs.scanEntireFile = 0;
        prefs.Save(true);
        prefs.SaveWindowPlacement({1, 2, 3, 4, 1, 0});
        return 0;
    }
    return 2;
}
