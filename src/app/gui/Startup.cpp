#include "Startup.h"

#include <QCoreApplication>
#include <filesystem>

#include "QtTranslations.h"
#include "base/Translate.h"
#include "codecdb/ShippedDatabase.h"

namespace torvo::gui {

const char* const kFirstRunText = N_(
    "Добро пожаловать в Torvo!\n\nTorvo показывает, что внутри медиафайла: контейнер, кодеки видео и звука, и "
    "установлен ли кодек для каждого потока. Откройте файлы через меню \"Файл\" или перетащите их (или целые "
    "папки) на окно программы.\n\nНастройки хранятся в ~/.config/Quellmark/Torvo.conf; меню \"Настройка\" > "
    "\"Параметры\" меняет их и может создать ярлыки.");

Language WindowLanguage(std::string_view stored) {
    Language language = Language::kSystem;
    // Anything else than a language we carry follows the locale.
    if (!ParseLanguage(stored, language)) language = Language::kSystem;
    return language;
}

CTorvoApp::CTorvoApp(StartupOptions options)
    : options_(std::move(options)), prefs_(*options_.store, options_.programDir) {}

CTorvoApp::~CTorvoApp() = default;

std::unique_ptr<CReadDatabase> CTorvoApp::LoadDatabase() {
    auto database = std::make_unique<CReadDatabase>(&ShippedCompactDatabase());
    const bool loaded = options_.databasePath.empty() ? database->Load() : database->Load(options_.databasePath, {});
    if (loaded) return database;
    const UserMessage& m = database->LastMessage();
    options_.messages->Show(m.caption, m.text, MessageIcon::kError);
    return nullptr;
}

void CTorvoApp::RegisterForOpenWith(bool firstRun) {
    // A user entry that an earlier version wrote under the installed entry's
    // id would hide that entry: it moves to its own id.
    MoveOldUserEntry(options_.dirs);
    if (prefs_.allowOpenWith != 1 || options_.programPath.empty()) return;
    // An installed program comes with its own desktop entry, which offers it
    // for the media types already.
    if (InstalledEntryPresent(options_.dirs, options_.programDir)) return;
    // Only an entry the user asked for (the shortcut boxes of the settings)
    // is kept up to date; none is created unasked.
    (void)firstRun;
    RegisterOpenWith(options_.dirs, options_.programPath, OpenWithAction::kRefreshExisting);
}

bool CTorvoApp::Start() {
    const CommandLine commandLine = ParseCommandLine(options_.args);
    prefs_.Load();
    // The window is built in one language: the settings' choice, else the locale's.
    UseLanguage(WindowLanguage(prefs_.language));
    if (QCoreApplication* app = QCoreApplication::instance())
        InstallQtTranslations(*app);
    const bool firstRun = prefs_.appVersion == 0;
    if (firstRun) {
        // Once, when no earlier run has stored settings here; an unattended
        // run has nobody to greet.
        if (!commandLine.autoExit) options_.messages->Show("Torvo", Tr(kFirstRunText), MessageIcon::kInformation);
        prefs_.Save(false);
    }
    std::unique_ptr<CReadDatabase> database = LoadDatabase();
    if (!database) return false;
    prefs_.UseShippedTemplate(std::filesystem::path(database->Path()).parent_path().string());

    WindowContext context;
    context.prefs = &prefs_;
    context.messages = options_.messages;
    context.loadDatabase = [this] { return LoadDatabase(); };
    context.dirs = options_.dirs;
    context.programPath = options_.programPath;
    window_ = std::make_unique<CTorvoDlg>(std::move(context), std::move(database));
    // File managers offer the program for the media types it reads.
    RegisterForOpenWith(firstRun);
    if (options_.show) window_->show();
    window_->StartFromCommandLine(commandLine);
    return true;
}

}  // namespace torvo::gui

// The icon and other resources of the static library.
void TorvoInitResources() { Q_INIT_RESOURCE(torvo); }
