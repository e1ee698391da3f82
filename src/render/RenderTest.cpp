#include "render/RenderTest.h"

#include "inventory/InventoryService.h"
#include "render/PlaybackFailure.h"
#include "base/Translate.h"

namespace torvo {

CRenderTest::~CRenderTest() { Reset(); }

void CRenderTest::Reset() {
    if (worker_.joinable()) worker_.join();
    state_.store(kRenderIdle, std::memory_order_release);
    progress_ = 0;
    hresult_ = 0;
    outcome_ = RenderOutcome{};
    area_.Clear();
    lines_.clear();
}

void CRenderTest::Start(const std::string& path, CodecInventory* inventory) {
    Reset();
    path_ = path;
    inventory_ = inventory;
    state_.store(kRenderStarted, std::memory_order_release);
    worker_ = std::thread([this] { RenderAndDescribe(); });
}

void CRenderTest::RenderAndDescribe() {
    std::unique_ptr<IRenderPlatform> platform = context_.makePlatform ? context_.makePlatform() : nullptr;
    RenderOutcome outcome;
    if (platform) outcome = platform->RenderFile(path_);
    else outcome.message = "no render platform";

    int result = kRenderFailed;
    hresult_ = outcome.hresult;
    if (outcome.kind == RenderOutcome::Kind::kCrashed) {
        crash_.culpritName.Clear();
        crash_.culpritPath.Set(outcome.culpritPath);
        crash_.state.store(kCrashInRender, std::memory_order_release);
        result = kRenderCrashed;
    } else if (outcome.kind == RenderOutcome::Kind::kRendered && !Failed(outcome.hresult)) {
        area_.Fill(outcome.filters);
        area_.Classify(inventory_, context_.guidNames);
        area_.DescribeChain(ChainKind::kAudio, context_.guidNames);
        area_.DescribeChain(ChainKind::kVideo, context_.guidNames);
        result = kRenderDone;
    } else if (!Failed(hresult_)) {
        hresult_ = render_codes::kFail;  // a failure always carries a failure code
    }
    outcome_ = std::move(outcome);
    // The state is written last: the tick reads the records only after it.
    int expected = kRenderStarted;
    if (!state_.compare_exchange_strong(expected, result, std::memory_order_acq_rel)) {
        expected = kRenderRunning;
        state_.compare_exchange_strong(expected, result, std::memory_order_acq_rel);
    }
}

bool CRenderTest::ListChain(ChainKind kind, NotesList& rows) {
    const std::vector<FilterRecord*>& chain = area_.Chain(kind);
    if (chain.empty()) return false;
    CodecEntry* entries = inventory_ ? inventory_->Entries() : nullptr;
    const int32_t count = inventory_ ? inventory_->Count() : 0;
    CGraph graph(entries, count);
    size_t node = 0;
    // From the source side towards the renderer, without the source itself.
    for (size_t i = chain.size() - 1; i-- > 1 && node + 1 < graph.nodes.size();) {
        const FilterRecord& f = *chain[i];
        CGraphNode& n = graph.nodes[node++];
        n.choice = f.inventoryIndex;
        n.inputType = f.inputs[0].inUse ? &f.inputs[0].type : nullptr;
        const PinRecord* out = area_.Downstream(kind)[i];
        n.outputType = out ? &out->type : nullptr;
    }
    const FilterRecord& renderer = *chain.front();
    CGraphNode& end = graph.nodes[node];
    end.choice = 0;
    end.target = renderer.inventoryIndex;
    end.inputType = renderer.inputs[0].inUse ? &renderer.inputs[0].type : nullptr;

    const std::string header(chain.back()->name.View());
    ChainLine line = MakeChainLine(graph, header, 0, kind == ChainKind::kVideo ? 0 : 1, context_.guidNames);
    rows.Add(line.Text(), kRenderRowGood);
    lines_.push_back(std::move(line));
    return true;
}

bool CRenderTest::Tick(RenderTickContext& tick) {
    int state = State();
    if (state == kRenderStarted) {
        progress_ = 0;
        int expected = kRenderStarted;
        if (state_.compare_exchange_strong(expected, kRenderRunning, std::memory_order_acq_rel)) return false;
        state = State();
    } else if (state == kRenderRunning) {
        if (progress_ < 101) ++progress_;
        return false;
    }
    // A crash in the test shows as crashed, whatever the thread reported.
    if (crash_.state.load(std::memory_order_acquire) == kCrashInRender && state != kRenderCrashShown &&
        state >= kRenderCrashed && state <= kRenderDone) {
        state = kRenderCrashed;
    }
    // GStreamer's own words (its error, the missing plugins' descriptions);
    // the code's description only when it gave none.
    auto describe = [&](uint32_t code) {
        if (!outcome_.message.empty()) return outcome_.message;
        return context_.describeHresult ? context_.describeHresult(code) : std::string();
    };
    switch (state) {
        case kRenderCrashed: {
            tick.rows.Add(N_("<< GStreamer рухнул в ходе рендеринга>>"), kRenderRowCrash);
            const std::string report = CrashReportText(kCrashInRender, crash_.culpritName.View(),
                                                       crash_.culpritPath.View(), tick.ownProgram);
            crash_.culpritName.Clear();
            crash_.culpritPath.Clear();
            crash_.state.store(kCrashReported, std::memory_order_release);
            for (std::string& row : ReportRows(report)) tick.rows.Add(std::move(row), kRenderRowCrash);
            if (tick.switchCodecInfoOff) tick.switchCodecInfoOff();
            if (tick.showMessage) tick.showMessage("Torvo", report);
            state_.store(kRenderCrashShown, std::memory_order_release);
            return true;
        }
        case kRenderFailed:
            tick.rows.Add(N_("Рендеринг не удался. Вот сообщение GStreamer об ошибке:        "), kRenderRowFailed);
            tick.rows.Add(describe(hresult_), kRenderRowFailed);
            state_.store(kRenderFailureShown, std::memory_order_release);
            return true;
        case kRenderDone: {
            lines_.clear();
            const bool videoEmpty = area_.Text(kVideoChainText).empty();
            const bool audioEmpty = area_.Text(kAudioChainText).empty();
            if (hresult_ == 0) {
                tick.rows.Add(N_("Рендеринг выполнен. Использована такая цепочка фильтров: "), kRenderRowGood);
                ListChain(ChainKind::kVideo, tick.rows);
                ListChain(ChainKind::kAudio, tick.rows);
            } else {
                tick.rows.Add(N_("Рендеринг выполнен лишь частично. Вот сообщение GStreamer об ошибке: "),
                              kRenderRowPartial);
                tick.rows.Add(describe(hresult_), kRenderRowPartial);
                if (tick.fileHasVideo && tick.fileHasAudio) {
                    if (videoEmpty && !audioEmpty)
                        tick.rows.Add(N_("Конкретнее, звук можно отрендерить, а видео - нет:                      "),
                                      kRenderRowPartial);
                    if (audioEmpty && !videoEmpty)
                        tick.rows.Add(N_("Конкретнее, видео можно отрендерить, а звук нет:                    "),
                                      kRenderRowPartial);
                }
                if (!videoEmpty) ListChain(ChainKind::kVideo, tick.rows);
                if (!audioEmpty) ListChain(ChainKind::kAudio, tick.rows);
            }
            state_.store(kRenderResultShown, std::memory_order_release);
            return true;
        }
        default: return false;
    }
}

}  // namespace torvo
