// The render panel's commands in the main window: the render test of
// "В+З" [1] driven by the window's 50 ms tick with its progress counter,
// the playback of its graph in the test monitor ([2]), and the suggested
// chains of "Вид" and "Звук": [1] finds them, [2] builds each one in the
// render child, [3] plays a built one; the chain lines' context menu.
#pragma once

#include <QObject>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "ChainList.h"
#include "analysis/Display.h"
#include "analysis/MessageBox.h"
#include "records/Records.h"
#include "render/Playback.h"
#include "render/RenderTest.h"
#include "render/SuggestedChains.h"

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
    // The player of a built chain, and the platform that builds chains.
    std::function<std::unique_ptr<IPlaybackPlatform>(const ChainBuildRequest&)> makeChainPlayback;
    std::function<std::unique_ptr<IChainBuildPlatform>()> makeChainBuilder;
    // The audio list entry the audio panel shows.
    std::function<int()> currentAudioEntry;
    // Hook for "Детально об этом" on an entry, renderer or media type: opens
    // the codec list (or media type list) with it preselected. Unset: the
    // element's detail text is shown in a message.
    std::function<void(const ChainElement&)> showElementDetails;
    // "&Страница свойств": whether the element's entry has a property page,
    // and opening it. Unset: the command stays disabled.
    std::function<bool(const ChainElement&)> hasPropertyPage;
    std::function<void(const ChainElement&)> showPropertyPage;
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
    // [1], [2], [3] of "Вид" (video) or "Звук" (audio).
    void SuggestChains(ChainKind kind);
    void BuildChains(ChainKind kind);
    void PlayChain(ChainKind kind);
    // The chain lines' context menu.
    bool CommandEnabled(ChainCommand command, const ChainElement* element) const;
    void RunCommand(ChainCommand command, const ChainElement& element);
    // "&Сбросить все": everything stops and goes, the list is cleared.
    void ResetAll();
    // The window's 50 ms tick.
    void Tick();
    // A render test or chain build of the file is still running: the
    // export and the queue wait for it.
    bool Busy() const;
    // The chain line a row of the render list shows (null: a plain row).
    const ChainLine* LineOfRow(int row, const std::string& text) const;

    const CRenderTest& Test() const { return *test_; }
    const CSuggestedChains& Chains() const { return chains_; }
    int Mode() const { return mode_; }

signals:
    // The monitor is to be shown (true) or the container notes again (false).
    void monitorShown(bool shown);

private:
    void UpdateButtons();
    // Records the command's mode and tears down what its level asks.
    void Teardown(int mode, int level);
    void ShowChainRows();
    void StartBuilds(ChainKind kind, std::vector<int> indexes);
    // Collects the build reports that arrived.
    void TickBuilds();
    bool PlaySlot(ChainKind kind, int index);
    // Tells why the playback failed to start or ended by itself: rows in the
    // list that started it, the crash report in the message window.
    void ReportPlaybackFailure(const PlaybackFailure& failure, bool chainRows);
    std::string FilePath() const { return path_; }

    RenderControlsContext context_;
    std::array<QPushButton*, 9> buttons_;
    QProgressBar* progress_;
    CTestMonitor* monitor_;
    std::unique_ptr<CRenderTest> test_;
    std::string path_;
    bool fileHasVideo_ = false, fileHasAudio_ = false;
    double displayAspect_ = 0;
    bool fileOpen_ = false, codecInfo_ = true;
    const AnalysisRecords* records_ = nullptr;
    CSuggestedChains chains_;
    CChainBuildRun builds_;
    ChainKind buildKind_ = ChainKind::kVideo;
    int mode_ = kModeNone;
    bool playingChain_ = false;  // the monitor plays a built chain, not the test
};

}  // namespace torvo::gui
