// The window on a desktop: Qt's own texts in Russian, help pop-ups that stay
// on the screen and go or stay as the user expects, keys that reach the
// window's commands and buttons.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QSet>
#include <QCursor>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "About.h"
#include "Branding.h"
#include "GuiTestUtil.h"
#include "HelpTexts.h"
#include "MainWindow.h"
#include "QtTranslations.h"
#include "ReportActions.h"

using namespace torvo;
using namespace torvo::testing;

namespace {

QWidget* OpenPopup() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "helpPopup" && w->isVisible()) return w;
    return nullptr;
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT
private slots:
    void qtsOwnButtonsSpeakRussian() {
        QVERIFY(gui::InstallQtTranslations(*QCoreApplication::instance()));
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Save);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QString("Отмена"));
        QCOMPARE(box.button(QDialogButtonBox::Save)->text(), QString("Сохранить"));
    }

    void helpPopupsStayOnTheScreenAndGoOnAClickElsewhere() {
        QWidget owner;
        owner.resize(300, 200);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        const QRect screen = owner.screen()->availableGeometry();
        const QString text = gui::HelpText("torvo://local.registry");
        // "~/" is the home folder, not a line break.
        QVERIFY(text.contains("~/.config/Quellmark/Torvo.conf"));

        // Near each corner the whole pop-up is on the screen.
        for (const QPoint at : {QPoint(screen.right() - 4, screen.top() + 10), QPoint(screen.right() - 4, screen.bottom() - 4),
                                QPoint(screen.left() + 4, screen.bottom() - 4)}) {
            QCursor::setPos(at);
            QPointer<QWidget> popup = gui::ShowPopup(&owner, text);
            QVERIFY2(screen.contains(popup->frameGeometry()),
                     qPrintable(QString("at %1,%2").arg(at.x()).arg(at.y())));
            QVERIFY(popup->findChild<QLabel*>("helpText")->text().contains("~/.config/Quellmark/Torvo.conf.\n"));
            // A click elsewhere closes an unpinned one.
            QTest::mouseClick(&owner, Qt::LeftButton, {}, QPoint(5, 5));
            QTRY_VERIFY(!popup || !popup->isVisible());
        }

        // Pinned: it stays after a click elsewhere, can be dragged, and a left click closes it.
        QCursor::setPos(screen.center());
        QPointer<QWidget> pinned = gui::ShowPopup(&owner, text);
        QTest::mouseClick(pinned, Qt::RightButton, {}, QPoint(5, 5));
        QVERIFY(pinned->property("pinned").toBool());
        QTest::mouseClick(&owner, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(pinned && pinned->isVisible());
        const QPoint before = pinned->pos();
        QTest::mousePress(pinned, Qt::LeftButton, {}, QPoint(5, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(45, 25), pinned->mapToGlobal(QPointF(45, 25)), Qt::NoButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(pinned, &move);
        QTest::mouseRelease(pinned, Qt::LeftButton, {}, QPoint(45, 25));
        QCOMPARE(pinned->pos(), before + QPoint(40, 20));
        QVERIFY(pinned->isVisible());
        QTest::mouseClick(pinned, Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_VERIFY(!pinned || !pinned->isVisible());
        QVERIFY(!OpenPopup());
    }

    // With a read-only field focused (as after "+"), Ctrl+Home still goes back
    // to the first file; Tab reaches the small buttons; the container list
    // copies every selected line and a new file's notes start unselected.
    void keysReachTheWindowAndItsLists() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start();
        QVERIFY(window);
        const std::vector<std::string> names = {Sample("riff/avi_two_audio.avi"), Sample("mpeg/vcd_pal.mpg")};
        window->OpenNames(names);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Plus);
        QTest::keyClick(window, Qt::Key_Plus);
        QCOMPARE(window->Queue().Index(), 1);
        auto* path = window->findChild<QLineEdit*>("filePath");
        path->setFocus();
        QVERIFY(path->hasFocus());
        QTest::keyClick(path, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(window->Queue().Index(), -1);  // back before the first name
        QTest::keyClick(window, Qt::Key_Plus);
        QCOMPARE(window->Queue().Index(), 0);

        // Tab walks through the small buttons too.
        QSet<QString> reached;
        for (int i = 0; i < 200; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QWidget* w = QApplication::focusWidget()) reached << w->objectName();
        }
        for (const char* name : {"renderBoth1", "renderVideo1", "openButton"})
            QVERIFY2(reached.contains(name), name);

        auto* list = window->findChild<QListWidget*>("containerList");
        QVERIFY(list->count() > 2);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(list->selectedItems().size(), list->count());
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().split('\n').size(), list->count());
        window->NextFile();
        QTRY_COMPARE(window->Queue().Index(), 1);
        QVERIFY(list->count() > 0);
        QVERIFY(list->selectedItems().isEmpty());
    }

    void logoTurnsWhileBusyUnlessStillAndPanelsAreShadedUnlessMonochrome() {
        bool busy = true;
        gui::CLogo turning(false, [&busy] { return busy; });
        gui::CLogo still(true, [&busy] { return busy; });
        turning.show();
        still.show();
        const QImage stillBefore = still.grab().toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < stillBefore.height(); ++y)
            for (int x = 0; x < stillBefore.width(); ++x) colours << stillBefore.pixel(x, y);
        QVERIFY2(colours.size() > 4, "the logo is drawn");
        QTRY_VERIFY(turning.Angle() != 0);
        const QImage turned = turning.grab().toImage();
        QTRY_VERIFY(turning.grab().toImage() != turned);
        QCOMPARE(still.Angle(), 0);
        QCOMPARE(still.grab().toImage(), stillBefore);
        busy = false;
        QTRY_COMPARE(turning.Angle(), 0);

        for (const bool monochrome : {false, true}) {
            QWidget window;
            auto* panel = new QGroupBox("Файл", &window);
            panel->setGeometry(0, 0, 200, 120);
            gui::ApplyPanelBackgrounds(&window, monochrome);
            window.resize(200, 120);
            window.show();
            const QImage image = panel->grab().toImage();
            const bool shaded = image.pixelColor(100, 30) != image.pixelColor(100, 112);
            QCOMPARE(shaded, !monochrome);
        }
    }

    // The copied and saved reports are what torvo-cli writes for the file.
    void reportIsCopiedAndSavedAsTheCommandLineWritesIt() {
        GuiRun run;
        const std::string path = Sample("avi_mpeg4_mp3.avi");
        gui::CTorvoDlg* window = run.Start({path});
        QVERIFY(window);
        QTRY_VERIFY_WITH_TIMEOUT(!window->Scanning(), 10000);
        const auto cli = [](const QStringList& args) {
            QProcess process;
            process.start(TORVO_CLI_PATH, QStringList{"--db", QString::fromStdString(ShippedDatabase())} + args);
            process.waitForFinished(30000);
            return QString::fromUtf8(process.readAllStandardOutput());
        };
        const QString text = cli({QString::fromStdString(path)});
        QVERIFY(text.contains("avi_mpeg4_mp3.avi"));
        window->Action("actionCopyReport")->trigger();
        const QStringList copied = QApplication::clipboard()->text().split('\n'), expected = text.split('\n');
        for (qsizetype i = 0; i < std::min(copied.size(), expected.size()); ++i)
            QVERIFY2(copied[i] == expected[i], qPrintable(QString("line %1: %2 | %3").arg(i).arg(copied[i], expected[i])));
        // The command line ends each file's report with an empty line.
        QCOMPARE(QApplication::clipboard()->text() + "\n", text);

        const std::optional<FileReport> shown = window->ShownReport();
        QVERIFY(shown);
        QString error;
        const QString saved = QString::fromStdString((run.scratch / "report.jsonl").string());
        QVERIFY(gui::SaveReport(*shown, saved, true, error));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject mine = QJsonDocument::fromJson(file.readAll()).object();
        const QJsonObject theirs = QJsonDocument::fromJson(cli({"--json", QString::fromStdString(path)}).toUtf8()).object();
        // The same line, but for the read speed of the full scan.
        const auto withoutSpeed = [](QJsonObject report) {
            QJsonObject scan = report["scan"].toObject();
            scan.remove("read_kib_per_s");
            report["scan"] = scan;
            return report;
        };
        QVERIFY(mine.contains("schema") && mine.contains("container") && mine.contains("streams"));
        QCOMPARE(withoutSpeed(mine), withoutSpeed(theirs));
        QVERIFY(!gui::SaveReport(*shown, "/nonexistent/dir/r.txt", false, error));
        QVERIFY(!error.isEmpty());
    }

    // --version and --help print and end before any display is asked for:
    // without one, a window would end the program with Qt's complaint.
    void versionAndHelpPrintWithoutAWindow_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        const QString version = QString("torvo %1\n").arg(TORVO_VERSION);
        QTest::newRow("--version") << QStringList{"--version"} << version;
        QTest::newRow("-V after a name") << QStringList{"/nonexistent.avi", "-V"} << version;
        QTest::newRow("--help") << QStringList{"--help"} << QString(gui::UsageText());
        QTest::newRow("first one asked") << QStringList{"-h", "--version"} << QString(gui::UsageText());
    }
    void versionAndHelpPrintWithoutAWindow() {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        process.setProcessEnvironment(env);
        process.start(TORVO_GUI_PATH, args);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()), expected);
        QCOMPARE(process.readAllStandardError(), QByteArray());
        // After "--" the same words are names: the window would open.
        QCOMPARE(gui::PrintedAnswer({"--", "--version"}), std::nullopt);
    }
};

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
