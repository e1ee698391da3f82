// The render panel of the window: [1] of "В+З" runs the render test on the
// tick with its progress and rows, [2] plays it in the test monitor, and a
// plugin that crashes is reported while the window keeps running.
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <filesystem>

#include <QAction>
#include <QMenu>

#include "ChainList.h"
#include "GuiTestUtil.h"
#include "MainWindow.h"
#include "TestMonitor.h"
#include "XvfbDisplay.h"
#include "RenderControls.h"
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
        for (const char* name : {"renderVideo2", "renderVideo3", "renderAudio2", "renderAudio3", "renderBoth3"})
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

    // [1] lists the video chains, [2] builds them, [3] plays the first built
    // one in the monitor; the chain line's elements carry the context menu.
    void TestSuggestedChainsBuildAndPlay() {
        // The video renderer is the sink that works on the display: a private X server.
        test::XvfbDisplay xvfb;
        test::NullSoundCard sound;
        if (xvfb.Name().empty()) QSKIP("Xvfb is not installed");
        ScopedEnv video("TORVO_PLAY_VIDEO_SINK", "fakesink"), audio("TORVO_PLAY_AUDIO_SINK", "fakesink");
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({Sample("avi_mpeg4_mp3.avi")});
        QVERIFY(window);
        QVERIFY(Button(window, "renderVideo1")->isEnabled());
        QVERIFY(Button(window, "renderAudio1")->isEnabled());
        QVERIFY(!Button(window, "renderVideo2")->isEnabled());
        QTest::mouseClick(Button(window, "renderVideo1"), Qt::LeftButton);
        QTRY_VERIFY(Rows(window).size() >= 2);
        const QStringList rows = Rows(window);
        QVERIFY(rows[0].startsWith("(ист)-->>--(A)-->["));
        QCOMPARE(rows[1], QString("Статус: еще не отрендерил. Используйте [2] "));
        QVERIFY(Button(window, "renderVideo2")->isEnabled());
        QVERIFY(!Button(window, "renderAudio2")->isEnabled());
        QVERIFY(!Button(window, "renderVideo3")->isEnabled());

        QTest::mouseClick(Button(window, "renderVideo2"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(Rows(window).value(1), QString("Рендер видео OK. Проиграть - [3]."), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(Button(window, "renderVideo3")->isEnabled(), 20000);

        // The decoder element of the first line: its detail and its menu.
        auto* list = window->findChild<gui::CChainListView*>("renderList");
        const QRect first = list->visualItemRect(list->item(0));
        QPoint at;
        for (int x = first.left(); x < first.right() && at.isNull(); ++x)
            if (const ChainElement* e = list->ElementAt({x, first.center().y()}); e && e->type == ChainElementType::kEntry &&
                                                                                  e->text.find("decoder") != std::string::npos)
                at = {x, first.center().y()};
        QVERIFY(!at.isNull());
        QVERIFY(!list->ElementAt(at)->detail.empty());
        std::unique_ptr<QMenu> menu(list->MenuFor(at));
        QVERIFY(menu->findChild<QAction*>("chainDetails")->isEnabled());
        // A decoder has properties of its own, so it has a property page.
        QVERIFY(menu->findChild<QAction*>("chainPropertyPage")->isEnabled());
        QVERIFY(menu->findChild<QAction*>("chainRenderThis")->isEnabled());
        QVERIFY(menu->findChild<QAction*>("chainPlayThis")->isEnabled());

        QTest::mouseClick(Button(window, "renderVideo3"), Qt::LeftButton);
        QVERIFY(window->Monitor().Active());
        QCOMPARE(window->findChild<QLabel*>("monitorCaption")->text(), QString("Тест лишь видео"));
        QTRY_VERIFY_WITH_TIMEOUT(window->findChild<QSlider*>("monitorSeek")->value() > 0, 10000);

        // "&Сбросить все": nothing is left playing, listed or buildable.
        std::unique_ptr<QMenu> again(list->MenuFor(at));
        again->findChild<QAction*>("chainResetAll")->trigger();
        QVERIFY(!window->Monitor().Active());
        QTRY_VERIFY(Rows(window).isEmpty());
        QVERIFY(!Button(window, "renderVideo2")->isEnabled());
        QVERIFY(Button(window, "renderVideo1")->isEnabled());

        // The sound's chains: their line elements belong to the audio kind.
        QTest::mouseClick(Button(window, "renderAudio1"), Qt::LeftButton);
        QTRY_VERIFY(!Rows(window).isEmpty());
        QVERIFY(Rows(window).first().contains("[Avi demuxer ]"));
        QVERIFY(Button(window, "renderAudio2")->isEnabled());
        QVERIFY(!Button(window, "renderVideo2")->isEnabled());
    }

    // A render test started while the full scan runs holds the file's end
    // (its export, the next queued file) until the test has written its rows.
    void TestTheFileFinishesAfterItsRenderTest() {
        GuiRun run;
        gui::CTorvoDlg* window = run.Start({Sample("scan/avi_mpeg4_plain.avi")});
        QVERIFY(window);
        QVERIFY(window->Scanning());
        bool finished = false, testDone = false;
        QObject::connect(window, &gui::CTorvoDlg::fileAnalysed, window, [&] {
            finished = true;
            testDone = window->RenderCommands().Test().State() == kRenderResultShown;
        });
        QTest::mouseClick(Button(window, "renderBoth1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(finished, 20000);
        QVERIFY(testDone);
        QVERIFY(!window->RenderCommands().Busy());
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
        QCOMPARE(Rows(window).first(), QString("<< GStreamer рухнул в ходе рендеринга>>"));
        QVERIFY(Rows(window).join("\n").contains("libtorvocrash.so"));
        QVERIFY(!run.messages.shown.empty());
        QVERIFY(QString::fromStdString(run.messages.shown.back().text).contains("libtorvocrash.so"));
        QCOMPARE(run.store.ReadInt(kPrefsSection, "UseCodecInfo").value_or(1), 0);
        QVERIFY(!Button(window, "renderBoth1")->isEnabled());
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(RenderPanelTest)
#include "RenderPanelTest.moc"
