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
      test_(std::make_unique<CRenderTest>(context_.test)) {
    connect(buttons_[kBoth1], &QPushButton::clicked, this, &CRenderControls::StartTest);
    connect(buttons_[kBoth2], &QPushButton::clicked, this, &CRenderControls::PlayTest);
    connect(monitor_, &CTestMonitor::closed, this, [this] { emit monitorShown(false); });
    progress_->setRange(0, 101);
    progress_->hide();
    UpdateButtons();
}

CRenderControls::~CRenderControls() = default;

void CRenderControls::UpdateButtons() {
    // The suggested chains have not landed: their buttons stay disabled.
    for (int b : {kVideo1, kVideo2, kVideo3, kAudio1, kAudio2, kAudio3, kBoth3}) buttons_[size_t(b)]->setEnabled(false);
    const int state = test_->State();
    const bool busy = state >= kRenderStarted && state <= kRenderDone;
    buttons_[kBoth1]->setEnabled(fileOpen_ && codecInfo_ && !busy);
    buttons_[kBoth2]->setEnabled(fileOpen_ && test_->Playable());
}

void CRenderControls::FileAnalysed(const std::string& path, const AnalysisRecords* records, bool useCodecInfo) {
    monitor_->Stop();
    emit monitorShown(false);
    test_->Reset();
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
    auto render = std::make_unique<CRender>(context_.makePlayback(), "Тест Microsoft");
    std::string error;
    emit monitorShown(true);
    if (!monitor_->Start(std::move(render), path_, fileHasVideo_, displayAspect_, error)) {
        emit monitorShown(false);
        context_.display->Render().Add(error, kRenderRowFailed);
    }
}

void CRenderControls::Tick() {
    monitor_->Tick();
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
