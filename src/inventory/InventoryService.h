// The codec inventory's life in a program: gathered once on a worker thread,
// waited for before the codec steps, published when the periodic tick sees
// it finished. Views poll the progress and the status text.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "inventory/CodecEntry.h"
#include "inventory/Enumeration.h"

namespace torvo {

struct InventoryMessage {
    std::string caption;
    std::string text;
};

// The gathering itself: fills the inventory from some platform (the
// enumeration over a platform, or a cache of an earlier one).
using InventoryGatherer = std::function<void(CodecInventory& inventory, std::vector<InventoryMessage>& messages)>;

// The one message that says why no codec status can be told (the platform
// could not be asked: inventory.unavailable).
InventoryMessage UnavailableMessage(const std::string& reason);

// The enumeration over a platform made on the worker thread.
InventoryGatherer EnumerationGatherer(std::function<std::unique_ptr<IInventoryPlatform>()> makePlatform,
                                      GuidNameLookup guidNames);

class CInventoryService {
public:
    explicit CInventoryService(InventoryGatherer gatherer) : gatherer_(std::move(gatherer)) {}
    ~CInventoryService();
    CInventoryService(const CInventoryService&) = delete;
    CInventoryService& operator=(const CInventoryService&) = delete;

    // Starts gathering unless codec interaction is off (and not forced) or an
    // inventory exists; refresh discards a finished one first.
    void Start(bool useCodecInfo, bool force = false, bool refresh = false);

    enum class WaitResult { kPublished, kTimedOut, kOff };
    // Starts, then polls every pollMs up to maxPolls times, running Tick and
    // the caller's keep-alive between polls. On time-out codec interaction is
    // switched off (the caller stores the setting) and the message is queued.
    WaitResult Wait(bool& useCodecInfo, bool force = false, const std::function<void()>& keepAlive = {},
                    int pollMs = 50, int maxPolls = 600);

    // The periodic tick: publishes a finished inventory and its messages.
    void Tick();
    // The preload countdown of the main window: 2000, minus 51 per tick.
    void PreloadTick(bool preloadCodecInfo, bool useCodecInfo);

    bool Running() const;
    // The number of entries so far (the progress bar's position).
    int Progress() const;
    // "Готово (есть %d кодеков)" once published, empty before.
    std::string StatusText() const;
    // The published inventory (null until the tick saw it finished).
    CodecInventory* Published() { return published_ ? inventory_.get() : nullptr; }
    // Messages to show (the enumeration's message boxes, the time-out).
    std::vector<InventoryMessage> TakeMessages();
    // The record of crashes caught in foreign code: the enumeration writes
    // it, and the render tests of this program are handed it too.
    CrashRecord& Crash() { return crash_; }

private:
    CrashRecord crash_;
    InventoryGatherer gatherer_;
    std::unique_ptr<CodecInventory> inventory_;
    std::thread worker_;
    std::vector<InventoryMessage> workerMessages_;  // written by the worker before its finished flag
    std::vector<InventoryMessage> messages_;
    // Wakes a waiter as soon as the worker ends (the data is not guarded by it).
    std::mutex wakeMutex_;
    std::condition_variable wake_;
    bool published_ = false;
    int preloadCountdown_ = 2000;
    bool preloadStarted_ = false;
};

// The crash report text for a crash record in state 3 or 4 (the headline by
// state, the explanation, the culprit when one is recorded). ownProgram is
// the program's own file, never named as the culprit.
std::string CrashReportText(int32_t state, std::string_view culpritName, std::string_view culpritPath,
                            std::string_view ownProgram);
// On a tick: a crash caught during the inventory (state 2) becomes reported
// (3) and its report is returned, the culprit cleared; else empty.
std::string TakeCrashReport(CrashRecord& crash, std::string_view ownProgram);
// The notice that codec interaction is now off and the program restarts.
const char* CrashNoticeText();

}  // namespace torvo
