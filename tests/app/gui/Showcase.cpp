// Shows the main window on a file, or one of the dialogs, with settings of
// its own, so that tools/screenshots.sh can photograph it under Xvfb.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <cstdlib>
#include <cstring>

#include "CodecListDialog.h"
#include "ExportDialog.h"
#include "GenericList.h"
#include "GuiTestUtil.h"
#include "QtTranslations.h"
#include "SettingsDialog.h"

namespace {

// Clicks the button once it is enabled (the render test or the chain builds
// take their time on a loaded machine).
void ClickWhenEnabled(QWidget* window, const char* name) {
    auto* timer = new QTimer(window);
    QObject::connect(timer, &QTimer::timeout, window, [window, name, timer] {
        auto* button = window->findChild<QPushButton*>(name);
        if (!button || !button->isEnabled()) return;
        button->click();
        timer->deleteLater();
    });
    timer->start(200);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace torvo;
    QApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "main";
    testing::GuiRun run;
    // SHOWCASE_LANGUAGE=en photographs the English window (and dialogs).
    const char* language = std::getenv("SHOWCASE_LANGUAGE");
    const std::string chosen = language && *language ? language : "ru";
    run.store.WriteText(kPrefsSection, "Language", chosen);
    UseLanguage(gui::WindowLanguage(chosen));
    gui::InstallQtTranslations(app);
    CPrefs prefs(run.store, "/usr/share/torvo/");
    prefs.Load();
    std::unique_ptr<QWidget> shown;
    if (what == "settings") {
        UserDirs dirs;
        dirs.home = "/home/user";
        dirs.configHome = "/home/user/.config";
        dirs.dataHome = "/home/user/.local/share";
        dirs.desktopDir = "/home/user/Desktop";
        shown = std::make_unique<gui::CSettingsDlg>(prefs, run.messages, dirs, "/usr/bin/torvo");
    } else if (what == "export") {
        prefs.exportEnabled = 1;
        prefs.exportFormatSrc = 2;
        prefs.exportMode = 3;
        prefs.exportFile = chosen == "en" ? "/home/user/Videos/torvo-export.txt" : "/home/user/Видео/torvo-export.txt";
        prefs.exportNameOfFileForFormat = "/usr/share/torvo/ExportFormat.txt";
        shown = std::make_unique<gui::CExportDlg>(prefs, run.messages);
    } else if (what == "video-formats") {
        gui::CTorvoDlg* window = run.Start();
        if (!window) return 3;
        window->hide();
        window->Action("actionVideoFormats")->trigger();
    } else if (what == "codec-list") {
        // The codec list of this machine, sorted by merit, highest first.
        gui::CTorvoDlg* window = run.Start();
        if (!window) return 3;
        window->hide();
        window->Action("actionCodecList")->trigger();
        if (auto* list = window->findChild<gui::CDlgGenericList*>("codecList")) {
            list->move(0, 0);
            list->resize(1180, 620);
            list->SortByColumn(4);
            list->SortByColumn(4);
        }
    } else if (what == "merit") {
        shown = std::make_unique<gui::CMeritSetDlg>(0x00600000);
    } else if (what == "vgs") {
        // The VGS window of a scanned file, once the scan has finished it.
        gui::CTorvoDlg* window = run.Start({argc > 2 ? argv[2] : ""});
        if (!window) return 3;
        QTimer::singleShot(1500, window, [window] { window->findChild<QPushButton*>("vgsButton")->click(); });
    } else if (what == "render" || what == "monitor") {
        // The render test of the file, then (monitor) its playback.
        gui::CTorvoDlg* window = run.Start({argc > 2 ? argv[2] : ""});
        if (!window) return 3;
        QTimer::singleShot(500, window, [window] { window->findChild<QPushButton*>("renderBoth1")->click(); });
        if (what == "monitor") ClickWhenEnabled(window, "renderBoth2");
    } else if (what == "chains" || what == "chain-monitor") {
        // The suggested video chains of the file, built, then (chain-monitor) the first one played.
        gui::CTorvoDlg* window = run.Start({argc > 2 ? argv[2] : ""});
        if (!window) return 3;
        QTimer::singleShot(500, window, [window] { window->findChild<QPushButton*>("renderVideo1")->click(); });
        QTimer::singleShot(1000, window, [window] { window->findChild<QPushButton*>("renderVideo2")->click(); });
        if (what == "chain-monitor") ClickWhenEnabled(window, "renderVideo3");
    } else if (what == "file-dialog") {
        // The open dialog of the window, in Qt's texts of the language, beside the samples.
        run.store.WriteText(kPrefsSection, "LastMediaFile", TORVO_TEST_DATA_DIR "/mpeg/dvd_pal_ac3.vob");
        gui::CTorvoDlg* window = run.Start();
        if (!window) return 3;
        QTimer::singleShot(800, window, [window] { window->Action("actionOpen")->trigger(); });
    } else if (what == "popup") {
        // A help pop-up opened near the right edge of the screen, pinned with a right click.
        gui::CTorvoDlg* window = run.Start({argc > 2 ? argv[2] : ""});
        if (!window) return 3;
        QTimer::singleShot(800, window, [window] {
            const QRect screen = window->screen()->availableGeometry();
            QCursor::setPos(screen.right() - 20, screen.top() + 300);
            window->OpenLink("torvo://local.aspect");
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() != "helpPopup" || !w->isVisible()) continue;
                QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), Qt::RightButton,
                                  Qt::RightButton, {});
                QApplication::sendEvent(w, &press);
            }
        });
    } else {
        std::vector<std::string> args;
        for (int i = 2; i < argc; ++i) args.emplace_back(argv[i]);
        if (!run.Start(args)) return 3;
    }
    if (shown) {
        shown->move(40, 40);
        shown->show();
    }
    return QApplication::exec();
}
