// The chains the program suggests for the video stream and for the current
// audio stream: up to six alternatives found in the inventory, each search
// excluding what the previous chain used so that the next one differs; their
// lines in the render list; the build of each chain and its result line.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "analysis/Display.h"
#include "inventory/CodecStatus.h"
#include "render/ChainBuild.h"
#include "render/ChainLine.h"

namespace torvo {

inline constexpr int kChainSlots = 6;

enum ChainSlotState : int { kSlotNotBuilt = 0, kSlotBuildFailed = 1, kSlotReplaced = 2, kSlotHeld = 3 };
enum RenderMode : int { kModeNone = 0, kModeVideoChains = 1, kModeAudioChains = 2, kModeRenderTest = 3 };

// What a command of the render panel destroys first, by the current mode and
// the command's level (1 for [1], 2 for [2], 3 for [3], 0 a new file).
struct TeardownPlan {
    bool renderTest = false;  // the machine's own render test
    bool playback = false;    // the CRender of a built chain
    bool chainSlots = false;  // the chain slots of both kinds
};
TeardownPlan TeardownFor(int mode, int level);

// One line of the chain list; chain lines carry their elements.
struct ChainRow {
    std::string text;
    int colour = kColourPlain;
    std::optional<ChainLine> line;
};

struct ChainSlot {
    std::unique_ptr<CGraph> graph;
    int state = kSlotNotBuilt;
    size_t row = 0;         // its chain line in the rows
    int resultRow = -1;     // its build result line, once built
};

class CSuggestedChains {
public:
    explicit CSuggestedChains(GuidNameLookup guidNames) : guidNames_(std::move(guidNames)) {}

    // [1]: clears the list, replaces the slots of the kind by the chains the
    // inventory offers for the stream's types (none: the types could not be
    // derived) and writes their lines. The number of chains found.
    int Suggest(ChainKind kind, CodecInventory* inventory, const std::optional<StreamTypePairs>& types,
                const std::string& header);

    // The build request of a found slot (no nodes for an empty slot).
    ChainBuildRequest Request(ChainKind kind, int index, const std::string& file) const;
    // The outcome of [2] for a slot: its result line right after its chain
    // line, its state; a slot built before goes to "replaced".
    void ApplyBuild(ChainKind kind, int index, const ChainBuildRequest& request, const ChainBuildReport& report,
                    const std::function<std::string(uint32_t)>& describe);
    // [3] takes the first slot built (held or replaced); -1 none.
    int PlayableSlot(ChainKind kind) const;
    // The slot is played: held again.
    void MarkHeld(ChainKind kind, int index);

    void DestroySlots();
    void ClearRows() { rows_.clear(); }
    // Adds a plain line (the panel's own notes).
    void AddRow(std::string text, int colour) { rows_.push_back({std::move(text), colour, std::nullopt}); }

    int Found(ChainKind kind) const { return found_[Side(kind)]; }
    int SlotState(ChainKind kind, int index) const;
    const std::vector<ChainRow>& Rows() const { return rows_; }
    // The rows into the render list of the display.
    void WriteTo(NotesList& list) const;

private:
    static size_t Side(ChainKind kind) { return kind == ChainKind::kAudio ? 1 : 0; }

    GuidNameLookup guidNames_;
    std::array<std::array<ChainSlot, kChainSlots>, 2> slots_{};
    std::array<int, 2> found_{0, 0};
    // The types the slots' nodes point at.
    std::array<StreamTypePairs, 2> types_{};
    std::vector<ChainRow> rows_;
};

// The types [1] searches with, none when they cannot be derived (the video
// stream, or the audio stream of the audio list entry).
std::optional<StreamTypePairs> ChainStreamTypes(const AnalysisRecords& records, ChainKind kind, int audioEntry);

// [2] of every found chain off the calling thread: one platform build per
// request in order; the caller's tick collects each report as it comes.
class CChainBuildRun {
public:
    ~CChainBuildRun() { Join(); }
    void Start(std::unique_ptr<IChainBuildPlatform> platform, std::vector<std::pair<int, ChainBuildRequest>> requests);
    // The reports that arrived since the last call, with their slot index
    // and request.
    struct Done {
        int index;
        ChainBuildRequest request;
        ChainBuildReport report;
    };
    std::vector<Done> Take();
    bool Running() const { return running_.load(std::memory_order_acquire); }
    // Waits for the build in hand; the builds not yet begun are dropped.
    void Join();

private:
    std::thread worker_;
    std::atomic<bool> running_{false}, stop_{false};
    std::atomic<size_t> published_{0};
    size_t taken_ = 0;
    std::vector<Done> done_;
};

}  // namespace torvo
