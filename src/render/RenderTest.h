// The render test: the machine renders the analysed file on a worker thread
// (the platform builds the graph in a child process, so a crashing or hanging
// plugin stays outside), the records are classified against the inventory,
// the video and audio chains are walked, and the periodic tick turns the
// outcome into the rows of the render list.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "analysis/Display.h"
#include "inventory/CodecEntry.h"
#include "render/ChainLine.h"
#include "render/FilterRecords.h"
#include "render/RenderPlatform.h"

namespace torvo {

enum RenderState : int {
    kRenderIdle = 0,
    kRenderStarted = 1,
    kRenderRunning = 2,
    kRenderCrashed = 3,
    kRenderFailed = 4,
    kRenderDone = 5,
    kRenderCrashShown = 6,
    kRenderFailureShown = 7,
    kRenderResultShown = 8,
};

struct RenderTestContext {
    std::function<std::unique_ptr<IRenderPlatform>()> makePlatform;
    GuidNameLookup guidNames;
    // The codec database's "0x%08x: text" for a result code.
    std::function<std::string(uint32_t code)> describeHresult;
    // Where a crash is recorded and reported from: the inventory service's
    // record, shared with the enumeration. None: the test keeps its own.
    CrashRecord* crash = nullptr;
};

// What the tick needs to know about the file and the program.
struct RenderTickContext {
    explicit RenderTickContext(NotesList& list) : rows(list) {}
    NotesList& rows;
    bool fileHasVideo = false;
    bool fileHasAudio = false;
    std::string ownProgram;  // never named as a crash's culprit
    // A crash was reported: codec interaction goes off and is stored.
    std::function<void()> switchCodecInfoOff;
    // The crash report for the program's message window (may be empty).
    std::function<void(const std::string& caption, const std::string& text)> showMessage;
};

class CRenderTest {
public:
    explicit CRenderTest(RenderTestContext context)
        : context_(std::move(context)), crash_(context_.crash ? *context_.crash : ownCrash_) {}
    ~CRenderTest();
    CRenderTest(const CRenderTest&) = delete;
    CRenderTest& operator=(const CRenderTest&) = delete;

    // The [1] command for a file: the earlier test is destroyed first. The
    // inventory (may be null) must outlive the test.
    void Start(const std::string& path, CodecInventory* inventory);
    // Destroys the test (waits for its thread).
    void Reset();

    // The 50 ms tick: advances the state and writes the rows once the thread
    // is done. True when rows were written by this tick.
    bool Tick(RenderTickContext& tick);

    int State() const { return state_.load(std::memory_order_acquire); }
    // Ticks since the test started running, at most 101.
    int Progress() const { return progress_; }
    // The test finished and its graph can be played.
    bool Playable() const { return State() == kRenderResultShown; }

    // Valid once the thread is done (state 3, 4, 5 or later).
    uint32_t Hresult() const { return hresult_; }
    const CFilterArea& Area() const { return area_; }
    const RenderOutcome& Outcome() const { return outcome_; }
    // The chain lines written by the tick (video first).
    const std::vector<ChainLine>& Lines() const { return lines_; }
    const std::string& Path() const { return path_; }

private:
    void RenderAndDescribe();
    // The CGraph of a chain list, written as a chain line; false for an
    // empty chain.
    bool ListChain(ChainKind kind, NotesList& rows);

    RenderTestContext context_;
    CrashRecord ownCrash_;
    CrashRecord& crash_;
    std::string path_;
    CodecInventory* inventory_ = nullptr;
    std::thread worker_;
    std::atomic<int> state_{kRenderIdle};
    int progress_ = 0;
    uint32_t hresult_ = 0;
    RenderOutcome outcome_;
    CFilterArea area_;
    std::vector<ChainLine> lines_;
};

// The rows' colours.
inline constexpr int kRenderRowGood = kColourGood;
inline constexpr int kRenderRowPartial = kColourWarning;
inline constexpr int kRenderRowFailed = kColourDamage;
inline constexpr int kRenderRowCrash = 7;

}  // namespace torvo
