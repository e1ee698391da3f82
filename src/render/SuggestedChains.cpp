#include "render/SuggestedChains.h"
#include "base/Translate.h"

#include <algorithm>

namespace torvo {
namespace {

Guid RendererFor(ChainKind kind, const CodecInventory& inventory) {
    if (kind == ChainKind::kAudio) return guids::kClsidDSoundRender;
    for (int i = 0; i < inventory.Count(); ++i)
        if (SameType(inventory.At(i).clsid, guids::kClsidVideoRendererDefault)) return guids::kClsidVideoRendererDefault;
    return guids::kClsidVideoRenderer;
}

// Keeps the next search off what this chain found: its decoder may not
// follow its splitter again, or, without a splitter, takes no further part.
// The splitter is the one the decoder follows: parsers count as splitters,
// and the first splitter alone would let the same chain through again.
// False when the chain has nothing to exclude.
bool ExcludeFound(CGraph& graph) {
    int decoder = -1, decoderNode = -1, lastSplitterNode = -1;
    for (int k = 0; k < kGraphNodes; ++k) {
        const int c = graph.nodes[size_t(k)].choice;
        if (c < 1 || c >= graph.count) continue;
        CodecEntry& e = graph.entries[c];
        if (IsSplitter(e)) lastSplitterNode = k;
        else if (decoder < 0 && IsDecoder(e)) {
            decoder = c;
            decoderNode = k;
        }
    }
    // No decoder: the entry that follows the last splitter stands in for it.
    if (decoder < 0 && lastSplitterNode >= 0 && lastSplitterNode + 1 < kGraphNodes - 1) {
        const int c = graph.nodes[size_t(lastSplitterNode + 1)].choice;
        if (c >= 1 && c < graph.count) {
            decoder = c;
            decoderNode = lastSplitterNode + 1;
        }
    }
    if (decoder < 0) return false;
    int splitter = -1;
    for (int k = 0; k < decoderNode; ++k) {
        const int c = graph.nodes[size_t(k)].choice;
        if (c >= 1 && c < graph.count && IsSplitter(graph.entries[c])) splitter = c;
    }
    SearchState& s = graph.entries[decoder].search;
    if (splitter >= 0) s.excluded[size_t(splitter)] = 1;
    else s.inChain = 1;
    return true;
}

}  // namespace

std::optional<StreamTypePairs> ChainStreamTypes(const AnalysisRecords& records, ChainKind kind, int audioEntry) {
    StreamTypePairs types;
    const int videoStatus = IsUncompressedVideo(records) ? 2 : 0;
    if (!StreamTypes(records, kind == ChainKind::kVideo ? kVideoStream : kAudioStream, audioEntry, videoStatus, types))
        return std::nullopt;
    return types;
}

TeardownPlan TeardownFor(int mode, int level) {
    TeardownPlan plan;
    if (mode == kModeVideoChains || mode == kModeAudioChains) {
        plan.renderTest = true;
        plan.playback = level < 3;
        plan.chainSlots = level < 2;
    } else if (mode == kModeRenderTest) {
        plan.renderTest = level < 2;
        plan.playback = plan.chainSlots = true;
    } else {
        plan.renderTest = plan.playback = plan.chainSlots = true;
    }
    return plan;
}

int CSuggestedChains::Suggest(ChainKind kind, CodecInventory* inventory, const std::optional<StreamTypePairs>& types,
                              const std::string& header) {
    const bool video = kind == ChainKind::kVideo;
    rows_.clear();
    const size_t side = Side(kind);
    for (ChainSlot& slot : slots_[side]) slot = ChainSlot{};
    found_[side] = 0;
    if (!types) {
        AddRow(video ? N_("Torvo пока не умеет рендерить этот тип видео") : N_("Torvo пока не умеет рендерить этот тип звука"),
               kColourDamage);
        AddRow(N_("Попробуйте    \"В+З\" кнопку \"1\"."), kColourDamage);
        return 0;
    }
    types_[side] = *types;
    CodecEntry* entries = inventory ? inventory->Entries() : nullptr;
    const int count = inventory ? inventory->Count() : 0;
    if (inventory) {
        ClearSearchState(*inventory);
        inventory->searchScratchSet = true;  // the searches below exclude what they found
    }
    std::vector<std::string> suggested;
    // A search may find a chain that reads as one suggested already (the
    // same entries, or entries of the same names, as GStreamer's fixed-point
    // twins of its decoders are): that one is searched past, not listed
    // again, within a bound of searches.
    for (int search = 0, j = 0; j < kChainSlots && search < 4 * kChainSlots; ++search) {
        ChainSlot& slot = slots_[side][size_t(j)];
        slot.graph = std::make_unique<CGraph>(entries, count);
        const bool found = inventory && ChainSearch(*slot.graph, types_[side].source, types_[side].elementary,
                                                    RendererFor(kind, *inventory), "", video);
        if (!found) {
            slot.graph.reset();
            if (found_[side] == 0) AddRow(video ? N_("Рендеринг видео невозможен") : N_("Рендеринг звука невозможен"), kColourDamage);
            break;
        }
        // A chain that excludes nothing would only be found again.
        const bool more = ExcludeFound(*slot.graph);
        ChainLine line = MakeChainLine(*slot.graph, header, video ? 1 : 2, j, guidNames_);
        if (std::find(suggested.begin(), suggested.end(), line.Text()) != suggested.end()) {
            slot.graph.reset();
            if (!more) break;
            continue;
        }
        suggested.push_back(line.Text());
        slot.row = rows_.size();
        rows_.push_back({line.Text(), kColourPlain, std::move(line)});
        // The build's result takes this status line's place.
        slot.resultRow = int(rows_.size());
        AddRow(N_("Статус: еще не отрендерил. Используйте [2] "), kColourWarning);
        ++found_[side];
        ++j;
        if (!more) break;
    }
    return found_[side];
}

ChainBuildRequest CSuggestedChains::Request(ChainKind kind, int index, const std::string& file) const {
    if (index < 0 || index >= kChainSlots) return {};
    const ChainSlot& slot = slots_[Side(kind)][size_t(index)];
    if (!slot.graph) {
        ChainBuildRequest none;
        none.kind = kind;
        none.file = file;
        return none;
    }
    return MakeBuildRequest(*slot.graph, kind, file);
}

void CSuggestedChains::ApplyBuild(ChainKind kind, int index, const ChainBuildRequest& request,
                                  const ChainBuildReport& report, const std::function<std::string(uint32_t)>& describe) {
    if (index < 0 || index >= kChainSlots) return;
    auto& slots = slots_[Side(kind)];
    ChainSlot& slot = slots[size_t(index)];
    if (!slot.graph) return;
    const bool ok = BuildSucceeded(report);
    ChainRow result;
    if (ok) {
        result.text = kind == ChainKind::kVideo ? N_("Рендер видео OK. Проиграть - [3].") : N_("Рендер звука OK. Проиграть - [3].");
        result.colour = kColourGood;
        for (int i = 0; i < kChainSlots; ++i)
            if (i != index && slots[size_t(i)].state == kSlotHeld) slots[size_t(i)].state = kSlotReplaced;
        slot.state = kSlotHeld;
    } else {
        result.text = BuildErrorText(request, report, describe);
        result.colour = kColourDamage;
        slot.state = kSlotBuildFailed;
    }
    // A rebuilt slot's earlier result line gives way to the new one.
    if (slot.resultRow >= 0 && size_t(slot.resultRow) < rows_.size()) {
        rows_[size_t(slot.resultRow)] = std::move(result);
        return;
    }
    const size_t at = slot.row + 1;
    rows_.insert(rows_.begin() + std::ptrdiff_t(std::min(at, rows_.size())), std::move(result));
    for (auto& side : slots_)
        for (ChainSlot& s : side) {
            if (s.graph && s.row >= at) ++s.row;
            if (s.resultRow >= int(at)) ++s.resultRow;
        }
    slot.resultRow = int(at);
}

int CSuggestedChains::PlayableSlot(ChainKind kind) const {
    const auto& slots = slots_[Side(kind)];
    for (int i = 0; i < kChainSlots; ++i)
        if (slots[size_t(i)].state == kSlotHeld || slots[size_t(i)].state == kSlotReplaced) return i;
    return -1;
}

void CSuggestedChains::MarkHeld(ChainKind kind, int index) {
    auto& slots = slots_[Side(kind)];
    if (index < 0 || index >= kChainSlots || !slots[size_t(index)].graph) return;
    for (ChainSlot& s : slots)
        if (s.state == kSlotHeld) s.state = kSlotReplaced;
    slots[size_t(index)].state = kSlotHeld;
}

void CSuggestedChains::DestroySlots() {
    for (auto& side : slots_)
        for (ChainSlot& slot : side) slot = ChainSlot{};
    found_ = {0, 0};
}

int CSuggestedChains::SlotState(ChainKind kind, int index) const {
    if (index < 0 || index >= kChainSlots) return kSlotNotBuilt;
    return slots_[Side(kind)][size_t(index)].state;
}

void CSuggestedChains::WriteTo(NotesList& list) const {
    list.Clear();
    for (const ChainRow& row : rows_) list.Add(row.text, row.colour);
}

void CChainBuildRun::Start(std::unique_ptr<IChainBuildPlatform> platform,
                           std::vector<std::pair<int, ChainBuildRequest>> requests) {
    Join();
    done_.clear();
    done_.reserve(requests.size());
    for (auto& [index, request] : requests) done_.push_back({index, std::move(request), {}});
    published_.store(0, std::memory_order_release);
    taken_ = 0;
    stop_.store(false, std::memory_order_release);
    running_.store(true, std::memory_order_release);
    worker_ = std::thread([this, platform = std::move(platform)] {
        for (size_t i = 0; i < done_.size() && !stop_.load(std::memory_order_acquire); ++i) {
            if (platform) done_[i].report = platform->BuildChain(done_[i].request);
            else done_[i].report.failedStep = ChainBuildReport::Step::kSource;
            published_.store(i + 1, std::memory_order_release);
        }
        running_.store(false, std::memory_order_release);
    });
}

std::vector<CChainBuildRun::Done> CChainBuildRun::Take() {
    std::vector<Done> out;
    const size_t ready = published_.load(std::memory_order_acquire);
    for (; taken_ < ready; ++taken_) out.push_back(done_[taken_]);
    return out;
}

void CChainBuildRun::Join() {
    stop_.store(true, std::memory_order_release);
    if (worker_.joinable()) worker_.join();
}

}  // namespace torvo
