// The render panel's commands in the main window: the render test of
// "В+З" [1] driven by the window's 50 ms tick with its progress counter,
// and the playback of its graph in the test monitor ([2]). The buttons of
// the suggested chains stay disabled until that feature lands.
#pragma once

#include <QObject>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "analysis/Display.h"
#include "analysis/MessageBox.h"
#include "analysis/Records.h"
#include "render/Playback.h"
#include "render/RenderTest.h"

class QProgressBar;
class QPushButton;

namespace torvo::gui {

class CTestMonitor;

struct RenderControlsContext {
    Display* display = nullptr;
    std::function<IMessageBox&()> messages;
    RenderTestContext test;
    std::string programPath;
    // Codec interaction goes off after a crash (and is stored).
    std::function<void()> switchCodecInfoOff;
    // The inventory to classify against (may give null).
    std::function<CodecInventory*()> inventory;
    // The player of the test monitor.
    std::function<std::unique_ptr<IPlaybackPlatform>()> makePlayback;
};

class CRenderControls : public QObject {
    Q_OBJECT
public:
    // buttons: "Вид" [1][2][3], "Звук" [1][2][3], "В+З" [1][2][3].
    CRenderControls(RenderControlsContext context, std::array<QPushButton*, 9> buttons, QProgressBar* progress,
                    CTestMonitor* monitor, QObject* parent = nullptr);
    ~CRenderControls() override;

    // After each analysis: everything of the earlier file goes; the buttons
    // follow the new file (none when no file is shown).
    void FileAnalysed(const std::string& path, const AnalysisRecords* records, bool useCodecInfo);
    // [1] of "В+З".
    void StartTest();
    // [2] of "В+З": plays what the test rendered.
    void PlayTest();
    // The window's 50 ms tick.
    void Tick();

    const CRenderTest& Test() const { return *test_; }

signals:
    // The monitor is to be shown (true) or the container notes again (false).
    void monitorShown(bool shown);

private:
    void UpdateButtons();

    RenderControlsContext context_;
    std::array<QPushButton*, 9> buttons_;
    QProgressBar* progress_;
    CTestMonitor* monitor_;
    std::unique_ptr<CRenderTest> test_;
    std::string path_;
    bool fileHasVideo_ = false, fileHasAudio_ = false;
    double displayAspect_ = 0;
    bool fileOpen_ = false, codecInfo_ = true;
};

}  // namespace torvo::gui
