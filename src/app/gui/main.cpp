// torvo: the desktop program.
#include <QApplication>
#include <QIcon>
#include <cstdlib>
#include <iostream>

#include "About.h"
#include "QtMessageBox.h"
#include "QtSettingsStore.h"
#include "Startup.h"
#include "settings/ProgramLocation.h"

void TorvoInitResources();

int main(int argc, char** argv) {
    // --help and --version answer on standard output, before any display is
    // needed, and open no window.
    if (const auto answer = torvo::gui::PrintedAnswer({argv + 1, argv + argc})) {
        std::cout << *answer;
        return 0;
    }
    // The test monitor draws into a native X11 window: ask for xcb (XWayland
    // under Wayland) unless the user chose a platform.
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "xcb", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Torvo");
    QApplication::setOrganizationName("Quellmark");
    TorvoInitResources();
    QApplication::setWindowIcon(QIcon(":/torvo/torvo.svg"));
    QApplication::setDesktopFileName("torvo");

    auto store = torvo::OpenUserSettingsStore();
    torvo::gui::CQtMessageBox messages;
    torvo::gui::StartupOptions options;
    options.store = store.get();
    options.messages = &messages;
    options.programPath = torvo::ProgramPath();
    options.programDir = torvo::ProgramDir();
    options.dirs = torvo::UserDirs::FromEnvironment();
    for (int i = 1; i < argc; ++i) options.args.emplace_back(argv[i]);

    torvo::gui::CTorvoApp torvoApp(std::move(options));
    if (!torvoApp.Start()) return 3;
    messages.SetOwner(torvoApp.Window());
    return QApplication::exec();
}
