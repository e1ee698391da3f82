// The suggested chains' commands of the render panel (part of CRenderControls).
#include <QProgressBar>
#include <QPushButton>

#include "RenderControls.h"
#include "TestMonitor.h"

namespace torvo::gui {
namespace {

int ModeOf(ChainKind kind) { return kind == ChainKind::kVideo ? kModeVideoChains : kModeAudioChains; }

ChainKind KindOf(const ChainElement& e) { return e.streamKind == 2 ? ChainKind::kAudio : ChainKind::kVideo; }

bool OfChain(const ChainElement* e) { return e && (e->streamKind == 1 || e->streamKind == 2); }

}  // namespace

void CRenderControls::Teardown(int mode, int level) {
    mode_ = mode;
    // The playback always stops; what else goes depends on the mode and level.
    monitor_->Stop();
    const TeardownPlan plan = TeardownFor(mode, level);
    if (plan.renderTest) test_->Reset();
    if (plan.chainSlots) {
        builds_.Join();
        builds_.Take();
        chains_.DestroySlots();
    }
}

void CRenderControls::ShowChainRows() { chains_.WriteTo(context_.display->Render()); }

void CRenderControls::SuggestChains(ChainKind kind) {
    Teardown(ModeOf(kind), 1);
    emit monitorShown(false);
    if (!fileOpen_ || !records_) return;
    CodecInventory* inventory = context_.inventory ? context_.inventory() : nullptr;
    const int audioEntry = context_.currentAudioEntry ? context_.currentAudioEntry() : 0;
    chains_.Suggest(kind, inventory, ChainStreamTypes(*records_, kind, audioEntry), path_);
    ShowChainRows();
    UpdateButtons();
}

void CRenderControls::BuildChains(ChainKind kind) {
    Teardown(ModeOf(kind), 2);
    emit monitorShown(false);
    std::vector<int> all;
    for (int i = 0; i < chains_.Found(kind); ++i) all.push_back(i);
    StartBuilds(kind, std::move(all));
}

void CRenderControls::StartBuilds(ChainKind kind, std::vector<int> indexes) {
    if (indexes.empty() || !context_.makeChainBuilder || builds_.Running()) return;
    std::vector<std::pair<int, ChainBuildRequest>> requests;
    for (int i : indexes) requests.emplace_back(i, chains_.Request(kind, i, path_));
    buildKind_ = kind;
    builds_.Start(context_.makeChainBuilder(), std::move(requests));
    progress_->setValue(0);
    progress_->show();
    UpdateButtons();
}

void CRenderControls::TickBuilds() {
    const bool running = builds_.Running();
    std::vector<CChainBuildRun::Done> done = builds_.Take();
    for (const CChainBuildRun::Done& d : done) {
        chains_.ApplyBuild(buildKind_, d.index, d.request, d.report, context_.test.describeHresult);
        // A build that crashed ended only its child: say which module did it.
        if (const std::string report = ChainCrashReport(d.report, context_.programPath); !report.empty() && context_.messages)
            context_.messages().Show("Torvo", report, MessageIcon::kWarning);
    }
    if (!done.empty()) ShowChainRows();
    if (running) progress_->setValue(std::min(progress_->value() + 1, 101));
    if (!running && progress_->isVisible() && test_->State() == kRenderIdle) {
        progress_->hide();
        UpdateButtons();
    } else if (!done.empty()) {
        UpdateButtons();
    }
}

void CRenderControls::PlayChain(ChainKind kind) {
    Teardown(ModeOf(kind), 3);
    const int slot = chains_.PlayableSlot(kind);
    if (slot < 0) return;
    PlaySlot(kind, slot);
}

bool CRenderControls::PlaySlot(ChainKind kind, int index) {
    if (!context_.makeChainPlayback) return false;
    const bool video = kind == ChainKind::kVideo;
    // The child builds the chain again with the monitor's window and plays it.
    auto render = std::make_unique<CRender>(context_.makeChainPlayback(chains_.Request(kind, index, path_)),
                                            video ? N_("Тест лишь видео") : N_("Тест лишь звука"));
    std::string error;
    emit monitorShown(true);
    playingChain_ = true;
    if (!monitor_->Start(std::move(render), path_, video, displayAspect_, error)) {
        emit monitorShown(false);
        ReportPlaybackFailure(monitor_->LastFailure(), true);
        return false;
    }
    chains_.MarkHeld(kind, index);
    UpdateButtons();
    return true;
}

bool CRenderControls::CommandEnabled(ChainCommand command, const ChainElement* element) const {
    switch (command) {
        case ChainCommand::kDetails: return OfChain(element);
        case ChainCommand::kPropertyPage:
            return OfChain(element) && context_.hasPropertyPage && context_.hasPropertyPage(*element);
        case ChainCommand::kRenderThis: return OfChain(element) && mode_ != kModeRenderTest && !Busy();
        case ChainCommand::kPlayThis: {
            if (mode_ == kModeRenderTest) return test_->Playable();
            if (!OfChain(element)) return false;
            const int state = chains_.SlotState(KindOf(*element), element->chainIndex);
            return (state == kSlotReplaced || state == kSlotHeld) && !Busy();
        }
        case ChainCommand::kResetAll: return true;
    }
    return false;
}

void CRenderControls::RunCommand(ChainCommand command, const ChainElement& element) {
    if (!CommandEnabled(command, &element) && command != ChainCommand::kResetAll) return;
    switch (command) {
        case ChainCommand::kDetails:
            if (context_.showElementDetails) context_.showElementDetails(element);
            else if (context_.messages) context_.messages().Show(element.text, element.detail, MessageIcon::kInformation);
            break;
        case ChainCommand::kPropertyPage:
            if (context_.showPropertyPage) context_.showPropertyPage(element);
            break;
        case ChainCommand::kRenderThis:
            Teardown(ModeOf(KindOf(element)), 2);
            emit monitorShown(false);
            StartBuilds(KindOf(element), {element.chainIndex});
            break;
        case ChainCommand::kPlayThis:
            if (mode_ == kModeRenderTest) {
                PlayTest();
            } else {
                Teardown(ModeOf(KindOf(element)), 3);
                PlaySlot(KindOf(element), element.chainIndex);
            }
            break;
        case ChainCommand::kResetAll: ResetAll(); break;
    }
}

void CRenderControls::ResetAll() {
    Teardown(kModeNone, 0);
    emit monitorShown(false);
    chains_.ClearRows();
    context_.display->Render().Clear();
    progress_->hide();
    UpdateButtons();
}

const ChainLine* CRenderControls::LineOfRow(int row, const std::string& text) const {
    const std::vector<ChainRow>& rows = chains_.Rows();
    if (row >= 0 && size_t(row) < rows.size() && rows[size_t(row)].line && rows[size_t(row)].text == text)
        return &*rows[size_t(row)].line;
    if (mode_ == kModeRenderTest)
        for (const ChainLine& line : test_->Lines())
            if (line.Text() == text) return &line;
    return nullptr;
}

}  // namespace torvo::gui
