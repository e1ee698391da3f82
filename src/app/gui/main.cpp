// torvo: the desktop program.
#include <QApplication>
#include <QIcon>
#include <cstdlib>

#include "QtMessageBox.h"
#include "QtSettingsStore.h"
#include "QtTranslations.h"
#include "Startup.h"
#include "settings/ProgramLocation.h"

void TorvoInitResources();

int main(int argc, char** argv) {
    // The test monitor draws into a native X11 window: ask for xcb (XWayland
    // under Wayland) unless the user chose a platform.
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "xcb", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Torvo");
    QApplication::setOrganizationName("Quellmark");
    torvo::gui::InstallQtTranslations(app);
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
