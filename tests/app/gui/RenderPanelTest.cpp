// The render panel of the window: [1] of "В+З" runs the render test on the
// tick with its progress and rows, [2] plays it in the test monitor, and a
// plugin that crashes is reported while the window keeps running.
#include <QGroupBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <filesystem>

#include "GuiTestUtil.h"
#include "MainWindow.h"
#include "TestMonitor.h"
#include "inventory/CodecEntry.h"

using namespace torvo;
using namespace torvo::testing;

namespace {

QStringList Rows(QWidget* window) {
    QStringList lines;
    auto* view = window->findChild<QListWidget*>("renderList");
    for (int i = 0; i < view->count(); ++i) lines << view->item(i)->text();
    return lines;
}

QPushButton* Button(QWidget* window, const char* name) { return window->findChild<QPushButton*>(name); }

}  // namespace

class RenderPanelTest : public QObject {
    Q_OBJECT
private slots:
    void TestRowsThenPlaybackInTheMonitor() {
        ScopedEnv video("TORVO_PLAY_VIDEO_SINK", "fakesink"), audio("TORVO_PLAY_AUDIO_SINK", "fakesink");
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({Sample("avi_mpeg4_mp3.avi")});
        QVERIFY(window);
        QPushButton* test = Button(window, "renderBoth1");
        QVERIFY(test->isEnabled());
        QVERIFY(!Button(window, "renderBoth2")->isEnabled());
        for (const char* name : {"renderVideo1", "renderVideo2", "renderVideo3", "renderAudio1", "renderAudio2",
                                 "renderAudio3", "renderBoth3"})
            QVERIFY2(!Button(window, name)->isEnabled(), name);

        QTest::mouseClick(test, Qt::LeftButton);
        QVERIFY(window->findChild<QProgressBar*>("renderProgress")->isVisibleTo(window));
        QTRY_VERIFY_WITH_TIMEOUT(!Rows(window).isEmpty(), 20000);
        QCOMPARE(Rows(window).first(), QString("Рендеринг выполнен. Использована такая цепочка фильтров: "));
        QVERIFY(!window->findChild<QProgressBar*>("renderProgress")->isVisibleTo(window));
        QTRY_VERIFY(Button(window, "renderBoth2")->isEnabled());

        QTest::mouseClick(Button(window, "renderBoth2"), Qt::LeftButton);
        auto* panel = window->findChild<QGroupBox*>("containerPanel");
        QCOMPARE(panel->title(), QString("Тест монитор"));
        QVERIFY(window->Monitor().Active());
        QCOMPARE(window->findChild<QSlider*>("monitorVolume")->value(), 5000);
        auto* seek = window->findChild<QSlider*>("monitorSeek");
        QVERIFY(seek->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(seek->value() > 0, 10000);
        QTest::mouseClick(Button(window, "monitorClose"), Qt::LeftButton);
        QCOMPARE(panel->title(), QString("Контейнер"));
        QVERIFY(!window->Monitor().Active());
    }

    void TestACrashingPluginIsReportedAndCodecInfoGoesOff() {
        ScratchDir scratch;
        std::filesystem::create_directories(scratch / "plugins");
        for (const char* p : {"coreelements", "typefindfunctions", "playback", "avi", "videoparsersbad"})
            std::filesystem::create_symlink(std::filesystem::path(TORVO_GST_PLUGIN_DIR) / (std::string("libgst") + p + ".so"),
                                            scratch / "plugins" / (std::string("libgst") + p + ".so"));
        ScopedEnv system("GST_PLUGIN_SYSTEM_PATH_1_0", (scratch / "plugins").c_str());
        ScopedEnv registry("GST_REGISTRY_1_0", (scratch / "registry.bin").c_str());
        ScopedEnv extra("GST_PLUGIN_PATH", TORVO_CRASH_PLUGIN_DIR);
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({Sample("avi_mpeg4.avi")});
        QVERIFY(window);
        QTest::mouseClick(Button(window, "renderBoth1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!Rows(window).isEmpty(), 20000);
        QCOMPARE(Rows(window).first(), QString("<< DirectShow рухнул в ходе рендеринга>>"));
        QVERIFY(Rows(window).join("\n").contains("libtorvocrash.so"));
        QVERIFY(!run.messages.shown.empty());
        QVERIFY(QString::fromStdString(run.messages.shown.back().text).contains("libtorvocrash.so"));
        QCOMPARE(run.store.ReadInt(kPrefsSection, "UseCodecInfo").value_or(1), 0);
        QVERIFY(!Button(window, "renderBoth1")->isEnabled());
        QVERIFY(window->isVisible());
        TheCrashRecord().state = kCrashNone;
    }
};

QTEST_MAIN(RenderPanelTest)
#include "RenderPanelTest.moc"
