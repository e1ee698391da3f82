#include "RenderControls.h"

#include <QProgressBar>
#include <QPushButton>

#include "TestMonitor.h"

namespace torvo::gui {
namespace {

enum Button { kVideo1, kVideo2, kVideo3, kAudio1, kAudio2, kAudio3, kBoth1, kBoth2, kBoth3 };

}  // namespace

CRenderControls::CRenderControls(RenderControlsContext context, std::array<QPushButton*, 9> buttons,
                                 QProgressBar* progress, CTestMonitor* monitor, QObject* parent)
    : QObject(parent),
      context_(std::move(context)),
      buttons_(buttons),
      progress_(progress),
      monitor_(monitor),
      test_(std::make_unique<CRenderTest>(context_.test)),
      chains_(context_.test.guidNames) {
    connect(buttons_[kBoth1], &QPushButton::clicked, this, &CRenderControls::StartTest);
    connect(buttons_[kBoth2], &QPushButton::clicked, this, &CRenderControls::PlayTest);
    connect(buttons_[kVideo1], &QPushButton::clicked, this, [this] { SuggestChains(ChainKind::kVideo); });
    connect(buttons_[kVideo2], &QPushButton::clicked, this, [this] { BuildChains(ChainKind::kVideo); });
    connect(buttons_[kVideo3], &QPushButton::clicked, this, [this] { PlayChain(ChainKind::kVideo); });
    connect(buttons_[kAudio1], &QPushButton::clicked, this, [this] { SuggestChains(ChainKind::kAudio); });
    connect(buttons_[kAudio2], &QPushButton::clicked, this, [this] { BuildChains(ChainKind::kAudio); });
    connect(buttons_[kAudio3], &QPushButton::clicked, this, [this] { PlayChain(ChainKind::kAudio); });
    connect(monitor_, &CTestMonitor::closed, this, [this] { emit monitorShown(false); });
    progress_->setRange(0, 101);
    progress_->hide();
    UpdateButtons();
}

CRenderControls::~CRenderControls() { builds_.Join(); }

void CRenderControls::UpdateButtons() {
    // "В+З" has no third step.
    buttons_[kBoth3]->setEnabled(false);
    const int state = test_->State();
    const bool testing = state >= kRenderStarted && state <= kRenderDone;
    const bool building = builds_.Running();
    const bool ready = fileOpen_ && codecInfo_ && !testing && !building;
    buttons_[kBoth1]->setEnabled(ready);
    buttons_[kBoth2]->setEnabled(fileOpen_ && test_->Playable() && mode_ == kModeRenderTest);
    buttons_[kVideo1]->setEnabled(ready && fileHasVideo_);
    buttons_[kAudio1]->setEnabled(ready && fileHasAudio_);
    for (ChainKind kind : {ChainKind::kVideo, ChainKind::kAudio}) {
        const bool video = kind == ChainKind::kVideo;
        const bool current = mode_ == (video ? kModeVideoChains : kModeAudioChains);
        buttons_[video ? kVideo2 : kAudio2]->setEnabled(ready && current && chains_.Found(kind) > 0);
        buttons_[video ? kVideo3 : kAudio3]->setEnabled(ready && current && chains_.PlayableSlot(kind) >= 0);
    }
}

bool CRenderControls::Busy() const {
    const int state = test_->State();
    return (state >= kRenderStarted && state <= kRenderDone) || builds_.Running();
}

void CRenderControls::FileAnalysed(const std::string& path, const AnalysisRecords* records, bool useCodecInfo) {
    monitor_->Stop();
    emit monitorShown(false);
    Teardown(kModeNone, 0);
    chains_.ClearRows();
    records_ = records;
    progress_->hide();
    path_ = path;
    fileOpen_ = records != nullptr;
    codecInfo_ = useCodecInfo;
    fileHasVideo_ = fileHasAudio_ = false;
    displayAspect_ = 0;
    if (records) {
        const ContainerInfo& c = records->container;
        fileHasVideo_ = c.videoCount > 0 || c.videoPresent;
        fileHasAudio_ = c.audioCount > 0 || c.soundPresent;
        displayAspect_ = records->video.displayAspect;
    }
    UpdateButtons();
}

void CRenderControls::StartTest() {
    Display& display = *context_.display;
    display.Render().Clear();
    Teardown(kModeRenderTest, 1);
    chains_.ClearRows();
    monitor_->Stop();
    emit monitorShown(false);
    if (!fileOpen_) return;
    CodecInventory* inventory = context_.inventory ? context_.inventory() : nullptr;
    test_->Start(path_, inventory);
    progress_->setValue(0);
    progress_->show();
    UpdateButtons();
}

void CRenderControls::PlayTest() {
    if (!test_->Playable() || !context_.makePlayback) return;
    Teardown(kModeRenderTest, 3);
    auto render = std::make_unique<CRender>(context_.makePlayback(), "Тест GStreamer");
    std::string error;
    emit monitorShown(true);
    playingChain_ = false;
    if (!monitor_->Start(std::move(render), path_, fileHasVideo_, displayAspect_, error)) {
        emit monitorShown(false);
        ReportPlaybackFailure(monitor_->LastFailure(), false);
        return;
    }
    if (const auto sink = monitor_->Render()->UnheardSoundSink()) {
        const FailureRow row = UnheardSoundRow(*sink);
        context_.display->Render().Add(row.text, row.colour);
    }
}

void CRenderControls::ReportPlaybackFailure(const PlaybackFailure& failure, bool chainRows) {
    const FailureReport report = torvo::ReportPlaybackFailure(failure, context_.programPath);
    for (const FailureRow& row : report.rows) {
        if (chainRows) chains_.AddRow(row.text, row.colour);
        else context_.display->Render().Add(row.text, row.colour);
    }
    if (chainRows) ShowChainRows();
    if (!report.crashReport.empty() && context_.messages)
        context_.messages().Show("Torvo", report.crashReport, MessageIcon::kWarning);
}

void CRenderControls::Tick() {
    monitor_->Tick();
    // A playback that ended by itself (a crash, an error while playing).
    if (const PlaybackFailure ended = monitor_->TakeEndedFailure(); ended.kind != PlaybackFailure::Kind::kNone) {
        emit monitorShown(false);
        ReportPlaybackFailure(ended, playingChain_);
        UpdateButtons();
    }
    TickBuilds();
    const int before = test_->State();
    if (before == kRenderIdle || before >= kRenderCrashShown) return;
    RenderTickContext tick(context_.display->Render());
    tick.fileHasVideo = fileHasVideo_;
    tick.fileHasAudio = fileHasAudio_;
    tick.ownProgram = context_.programPath;
    tick.switchCodecInfoOff = [this] {
        codecInfo_ = false;
        if (context_.switchCodecInfoOff) context_.switchCodecInfoOff();
    };
    tick.showMessage = [this](const std::string& caption, const std::string& text) {
        if (context_.messages) context_.messages().Show(caption, text, MessageIcon::kWarning);
    };
    const bool done = test_->Tick(tick);
    progress_->setValue(test_->Progress());
    if (done) progress_->hide();
    if (done || before != test_->State()) UpdateButtons();
}

}  // namespace torvo::gui
