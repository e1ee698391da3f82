// The window in each language: in English no Cyrillic is left anywhere a
// person reads (widgets, menus, tooltips, dialogs, help pop-ups, Qt's own
// buttons), each menu's mnemonics are unique (in English on letters a US
// keyboard has), and the stored choice decides the language.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <map>

#include "ChainList.h"
#include "ExportDialog.h"
#include "GenericList.h"
#include "GuiTestUtil.h"
#include "HelpTexts.h"
#include "MainWindow.h"
#include "SettingsDialog.h"

using namespace torvo;
using namespace torvo::testing;

namespace {

// "where: text" for every text a person reads in the widget and below it.
QStringList ReadTexts(QWidget* root) {
    QStringList texts;
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : widgets) {
        const QString name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
        const auto add = [&](const QString& text) {
            if (!text.isEmpty()) texts << name + ": " + text;
        };
        add(w->windowTitle());
        add(w->toolTip());
        add(w->statusTip());
        if (auto* label = qobject_cast<QLabel*>(w)) add(label->text());
        if (auto* button = qobject_cast<QAbstractButton*>(w)) add(button->text());
        if (auto* group = qobject_cast<QGroupBox*>(w)) add(group->title());
        if (auto* edit = qobject_cast<QLineEdit*>(w)) add(edit->text());
        if (auto* bar = qobject_cast<QProgressBar*>(w)) add(bar->format());
        if (auto* menu = qobject_cast<QMenu*>(w)) add(menu->title());
        // The languages are listed by their own names, so that each is found whatever the window speaks.
        if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->objectName() != "language")
            for (int i = 0; i < combo->count(); ++i) add(combo->itemText(i));
        if (auto* list = qobject_cast<QListWidget*>(w))
            for (int i = 0; i < list->count(); ++i) add(list->item(i)->text());
        if (auto* tree = qobject_cast<QTreeWidget*>(w))
            for (int c = 0; c < tree->columnCount(); ++c) add(tree->headerItem()->text(c));
        for (QAction* action : w->actions()) {
            add(action->text());
            add(action->toolTip());
            if (action->menu()) add(action->menu()->title());
        }
    }
    return texts;
}

QStringList Cyrillic(const QStringList& texts) {
    static const QRegularExpression cyrillic("[\\x{0400}-\\x{04FF}]");
    return texts.filter(cyrillic);
}

// The first top-level widget of the class that is shown.
template <typename T>
T* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w); found && found->isVisible()) return found;
    return nullptr;
}

// Reads the texts of the modal dialog that the action opens, then closes it.
QStringList TextsOfModal(const std::function<void()>& open) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        texts = ReadTexts(modal);
        modal->close();
    });
    open();
    return texts;
}

UserDirs Dirs(const GuiRun& run) {
    UserDirs dirs;
    dirs.home = run.scratch.path();
    dirs.configHome = run.scratch / "config";
    dirs.dataHome = run.scratch / "data";
    dirs.desktopDir = run.scratch / "Desktop";
    return dirs;
}

gui::CTorvoDlg* StartIn(GuiRun& run, const char* language, std::vector<std::string> args = {}) {
    run.store.WriteText(kPrefsSection, "Language", language);
    gui::CTorvoDlg* window = run.Start(std::move(args));
    // The panels show the final statistics once the full scan is over.
    const bool scanned = window && QTest::qWaitFor([window] { return !window->Scanning(); }, 10000);
    return scanned ? window : nullptr;
}

}  // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    // Whatever the locale says, the tests choose the language themselves.
    void storedChoiceDecides_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("fileMenu");
        QTest::addColumn<QString>("cancel");  // Qt's own button text
        QTest::newRow("en") << "en" << "&File" << "Cancel";
        QTest::newRow("ru") << "ru" << "&Файл" << "Отмена";
    }
    void storedChoiceDecides() {
        QFETCH(QString, stored);
        QFETCH(QString, fileMenu);
        QFETCH(QString, cancel);
        GuiRun run;
        gui::CTorvoDlg* window = StartIn(run, stored.toUtf8().constData());
        QVERIFY(window);
        QCOMPARE(window->menuBar()->actions().first()->text(), fileMenu);
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), cancel);
        QCOMPARE(gui::WindowLanguage("en"), Language::kEnglish);
        QCOMPARE(gui::WindowLanguage(""), Language::kSystem);
        QCOMPARE(gui::WindowLanguage("fr"), Language::kSystem);
    }

    // The settings dialog stores the choice for the next start and shows it again.
    void settingsKeepTheChoice() {
        GuiRun run;
        gui::CTorvoDlg* window = StartIn(run, "");
        QVERIFY(window);
        CPrefs& prefs = run.app->Prefs();
        {
            gui::CSettingsDlg dialog(prefs, run.messages, Dirs(run), "", window);
            auto* language = dialog.findChild<QComboBox*>("language");
            QCOMPARE(language->currentData().toString(), QString());  // following the system
            QCOMPARE(language->count(), 3);
            language->setCurrentIndex(language->findData("en"));
            dialog.Accept();
        }
        QCOMPARE(run.store.ReadText(kPrefsSection, "Language"), std::optional<std::string>("en"));
        gui::CSettingsDlg again(prefs, run.messages, Dirs(run), "", window);
        QCOMPARE(again.findChild<QComboBox*>("language")->currentText(), QString("English"));
    }

    // Everything a person reads in the English window, its dialogs and pop-ups.
    void englishHasNoCyrillic_data() {
        QTest::addColumn<QString>("what");
        for (const char* what : {"mpeg file", "avi file", "queue", "settings", "export", "video formats",
                                 "audio formats", "about", "vgs", "file dialog", "help", "chain menu"})
            QTest::newRow(what) << what;
    }
    void englishHasNoCyrillic() {
        QFETCH(QString, what);
        GuiRun run;
        const std::map<QString, std::string> files = {{"mpeg file", "mpeg/dvd_pal_ac3.vob"},
                                                      {"avi file", "riff/avi_xvid_bframes_mp3cbr.avi"},
                                                      {"vgs", "scan/mpeg2_ps_gop12.mpg"}};
        const auto file = files.find(what);
        gui::CTorvoDlg* window = StartIn(run, "en", file == files.end() ? std::vector<std::string>{}
                                                                         : std::vector<std::string>{Sample(file->second.c_str())});
        QVERIFY(window);
        QStringList texts;
        if (what.endsWith(" file")) {
            texts = ReadTexts(window);
            QVERIFY(texts.size() > 150);
        } else if (what == "queue") {
            window->OpenNames({Sample("riff/avi_two_audio.avi"), Sample("mpeg/vcd_pal.mpg")});
            texts = ReadTexts(window);
        } else if (what == "settings") {
            gui::CSettingsDlg dialog(run.app->Prefs(), run.messages, Dirs(run), "/usr/bin/torvo", window);
            texts = ReadTexts(&dialog);
        } else if (what == "export") {
            gui::CExportDlg dialog(run.app->Prefs(), run.messages, window);
            texts = ReadTexts(&dialog);
        } else if (what.endsWith(" formats")) {
            window->Action(what == "video formats" ? "actionVideoFormats" : "actionAudioFormats")->trigger();
            auto* list = Shown<gui::CDlgGenericList>();
            QVERIFY(list);
            texts = ReadTexts(list);
            list->close();
        } else if (what == "about") {
            texts = TextsOfModal([window] { window->About(); });
            QVERIFY(texts.join('\n').contains(QString("Version  ") + TORVO_VERSION));
            QVERIFY(texts.join('\n').contains(QRegularExpression("Build 20\\d\\d-\\d\\d-\\d\\d")));
        } else if (what == "vgs") {
            texts = TextsOfModal([window] { window->ShowFrameLayout(); });
        } else if (what == "file dialog") {
            QFileDialog dialog(window, "Open", QString::fromStdString(run.scratch.path().string()));
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.show();
            texts = ReadTexts(&dialog);
        } else if (what == "help") {
            for (const char* topic : {"aspect", "interlace", "gop", "convert", "status", "registry", "os", "preload",
                                      "gman", "fastscan", "mainkey", "fields", "bframes", "seq", "ixn", "order",
                                      "batch", "modes", "key_file", "key_video", "key_audio"}) {
                const QString text = gui::HelpText(QString("torvo://local.") + topic);
                QVERIFY2(text != "?", topic);
                texts << QString(topic) + ": " + text;
            }
        } else if (what == "chain menu") {
            std::unique_ptr<QMenu> menu(window->findChild<gui::CChainListView*>("renderList")->MenuFor({}));
            texts = ReadTexts(menu.get());
            QCOMPARE(Duplicates(Mnemonics(menu->actions())), QStringList());
        }
        QVERIFY(!texts.isEmpty());
        QVERIFY2(Cyrillic(texts).isEmpty(), qPrintable(Cyrillic(texts).join('\n')));
    }

    // The report the window copies reads as torvo-cli's in the same language.
    void copiedReportIsTheCommandLinesInEnglish() {
        const std::string path = Sample("avi_mpeg4_mp3.avi");
        GuiRun run;
        gui::CTorvoDlg* window = StartIn(run, "en", {path});
        QVERIFY(window);
        QProcess cli;
        cli.start(TORVO_CLI_PATH, {"--language", "en", "--db", QString::fromStdString(ShippedDatabase()),
                                   QString::fromStdString(path)});
        QVERIFY(cli.waitForFinished(30000));
        const QString expected = QString::fromUtf8(cli.readAllStandardOutput());
        QVERIFY(expected.contains("avi_mpeg4_mp3.avi"));
        QVERIFY2(Cyrillic(expected.split('\n')).isEmpty(), qPrintable(expected));
        window->Action("actionCopyReport")->trigger();
        // The command line ends each file's report with an empty line.
        QCOMPARE(QApplication::clipboard()->text() + "\n", expected);
    }

    // A path is the user's own: shown as it is, even where its words are the program's.
    void pathsStayAsTheyAre() {
        GuiRun run;
        const std::filesystem::path folder = run.scratch / "Видео";
        std::filesystem::create_directories(folder);
        const std::string path = (folder / "Видео.avi").string();
        std::filesystem::copy_file(Sample("avi_mpeg4_mp3.avi"), path);
        gui::CTorvoDlg* window = StartIn(run, "en", {path});
        QVERIFY(window);
        QCOMPARE(window->findChild<QLineEdit*>("filePath")->text(), QString::fromStdString(path));
        QVERIFY(window->windowTitle().endsWith(QString::fromStdString("Видео.avi")));
    }

    // Alt+letter reaches every entry: unique letters per menu; in English
    // letters a US layout has. The Russian menus keep their two shared
    // letters (Qt cycles through them), and no other.
    void mnemonicsReachEveryEntry_data() {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QStringList>("shared");  // "menu:letter" pairs the texts give
        QTest::newRow("en") << "en" << QStringList{};
        QTest::newRow("ru") << "ru" << QStringList{"&Очередь:п", "&Настройка:п"};
    }
    void mnemonicsReachEveryEntry() {
        QFETCH(QString, language);
        QFETCH(QStringList, shared);
        GuiRun run;
        gui::CTorvoDlg* window = StartIn(run, language.toUtf8().constData());
        QVERIFY(window);
        QStringList found;
        const QList<QAction*> menus = window->menuBar()->actions();
        QCOMPARE(Duplicates(Mnemonics(menus)), QStringList());
        for (QAction* menu : menus) {
            const QStringList letters = Mnemonics(menu->menu()->actions());
            QVERIFY(letters.size() >= 1);
            for (const QString& letter : Duplicates(letters)) found << menu->text() + ":" + letter;
            if (language == "en")
                for (const QString& letter : letters + Mnemonics({menu}))
                    QVERIFY2(letter.size() == 1 && letter[0] >= 'a' && letter[0] <= 'z', qPrintable(menu->text()));
        }
        QCOMPARE(found, shared);
    }
};

QTEST_MAIN(LanguageTest)
#include "LanguageTest.moc"
