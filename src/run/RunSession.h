// The run of a file queue, the same for every front end: which file comes
// next, waiting for each file's full scan, the render test, the export and the
// rules that switch codec interaction or export off for good. Front ends turn
// their options or widgets into a session and show what it reports.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <istream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "analysis/Display.h"
#include "analysis/Driver.h"
#include "analysis/FileQueue.h"
#include "analysis/FileReport.h"
#include "analysis/MessageBox.h"
#include "export/ExportWriter.h"

namespace torvo {

class CInventoryService;
class CPrefs;

// The queue's names: the given names first, then the names of each list
// file ("-" reads `standardInput` when there is one). A list that cannot be
// opened is reported once through `messages` and skipped; false then. The
// lists fill the queue's room only; with `leftOut`, the list names beyond it
// are counted there.
bool CollectQueueNames(std::vector<std::string>& names, const std::vector<std::string>& listFiles,
                       std::istream* standardInput, IMessageBox& messages, size_t* leftOut = nullptr);

// The names of a run without the queue's limits: each list file's entries,
// separated by `separator` ('\n' or '\0'), after the names already given.
// A list that cannot be opened is reported through `messages` and skipped.
struct ListedNames {
    bool listsOpened = true;
    // Per list, the lines longer than any path (they are not names).
    std::vector<std::pair<std::string, size_t>> overlong;
};
ListedNames CollectListedNames(std::vector<std::string>& names, const std::vector<std::string>& listFiles,
                               char separator, std::istream* standardInput, IMessageBox& messages);

// How a front end keeps the settings that a run switches off.
struct StoredSwitches {
    CPrefs* prefs = nullptr;
    // Whether a save after the inventory time-out also stores ExportEnabled
    // (false where export was switched on for this run only).
    bool storeExportEnabled = true;
    // The command line never changes the inventory: it keeps each status
    // question it searched once.
    bool rememberSearches = false;
    // Whether a switch is written to the settings file (the command line
    // switches it for the rest of its run only and leaves the file alone).
    bool store = true;
};

// Codec interaction is switched off for good (the inventory wait timed out,
// or the render test found codec use broken): the setting is stored.
void SwitchCodecInfoOff(CPrefs& prefs, bool storeExportEnabled = true);
// The same as the front end keeps its switches: stored, or for the rest of
// the run only (later files then skip their codec steps all the same).
void SwitchCodecInfoOff(const StoredSwitches& switches);
// A failed export switched export off: the setting is stored.
void SwitchExportOff(CPrefs& prefs);

// The driver's wait for the codec inventory (at most 30 s): its messages go
// to `messages`; a time-out switches codec interaction off and stores it, and
// no later file waits again. Safe to call from files analysed side by side.
std::function<CodecInventory*(bool& useCodecInfo)> InventoryWaitFor(CInventoryService& inventory,
                                                                    StoredSwitches switches,
                                                                    std::function<IMessageBox&()> messages);

// One analysed file as the session's events see it, with its report once
// the file is finished.
struct AnalysedFile {
    size_t index;
    size_t count;
    const std::string& path;
    const CAnalysisDriver& driver;
    Display& display;
    const FileReport* report = nullptr;
};

// What a blocking run reports. Every event comes on the thread that called
// Run(), except ReportReady, which files analysed side by side call on their
// workers; reports are delivered in the queue's order all the same.
class IRunEvents {
public:
    virtual ~IRunEvents() = default;
    virtual void FileStarted(size_t /*index*/, size_t /*count*/, const std::string& /*path*/) {}
    // The file was opened and analysed; its full scan may still run.
    virtual void FileOpened(const AnalysedFile& /*file*/) {}
    virtual void ScanProgress(size_t /*index*/, size_t /*count*/, const std::string& /*path*/, const CFastScan& /*scan*/) {}
    virtual void ScanDone(size_t /*index*/, size_t /*count*/, const std::string& /*path*/) {}
    // The report of an analysed file (`file.report`), as the text to deliver.
    virtual std::string ReportReady(const AnalysedFile& file) = 0;
    // `driver` is the file's own while the file is still in hand (files run
    // one at a time), null when it was analysed side by side.
    virtual void Deliver(size_t /*index*/, const std::string& /*path*/, const std::string& /*report*/,
                         const CAnalysisDriver* /*driver*/) {}
    // A file that could not be opened, after its message was shown (or noted,
    // in a run that no message may halt).
    virtual void FileNotOpened(size_t /*index*/, const std::string& /*path*/, const UserMessage& /*message*/) {}
    // The file in hand is over: reported, exported when export is on.
    virtual void FileFinished(size_t /*index*/, const std::string& /*path*/) {}
    // Whether the front end tells an export's messages itself, in
    // ExportDone (else the session shows them first).
    virtual bool TellsExportMessages() const { return false; }
    virtual void ExportDone(const std::string& /*path*/, const ExportOutcome& /*outcome*/) {}
    virtual void QueueFinished() {}
};

struct RunOptions {
    DriverOptions driver;
    // Export of each analysed file when enabled (the run may switch it off).
    ExportSettings* exportSettings = nullptr;
    // Stores the settings once a failed export switched export off.
    std::function<void()> exportSwitchedOff;
    // The render test of each analysed file, before its report; null when not asked for.
    std::function<void(const AnalysedFile&)> renderTest;
    // Set (by a signal handler, say) to stop a running scan and end the run.
    const std::atomic<bool>* interrupted = nullptr;
    // Work of the front end's own on the file in hand (the window's render
    // test) that the file's report and export wait for, like its scan.
    std::function<bool()> frontEndBusy;
    // The front end's messages wait for an answer (a window's boxes). A run
    // of every file then shows none while it runs: a file that cannot be
    // opened is a note of its own, and the failures are summed up in one
    // message when the queue ends.
    bool messagesWait = false;
    // Files analysed (and scanned) side by side when each report depends on
    // nothing but its file (no render test, export or stop at the first
    // broken file, and the front end's delivery needs no driver).
    int workers = 1;
    bool deliveryNeedsDriver = false;
};

class CRunSession {
public:
    CRunSession(Display& display, IMessageBox* messages) : display_(display), driver_(display), messages_(messages) {}

    FileQueue& Queue() { return queue_; }
    const FileQueue& Queue() const { return queue_; }
    CAnalysisDriver& Driver() { return driver_; }
    const CAnalysisDriver& Driver() const { return driver_; }
    void SetMessages(IMessageBox* messages) { messages_ = messages; }
    void SetOptions(RunOptions options);
    const RunOptions& Options() const { return options_; }

    // An unattended run (-x): every name in turn with export switched on;
    // the front end ends once the queue has finished.
    void StartUnattended(std::vector<std::string> names);
    bool Unattended() const { return unattended_; }
    // New export settings (the export dialog's): an unattended run keeps
    // export on unless a failure has switched it off.
    void ChangeExportSettings(ExportSettings settings);

    // Where the events of a run driven by the front end's timer go.
    void SetEvents(IRunEvents* events) { events_ = events; }

    // Takes up the queue's current name: analyses it (false, after saying
    // so, when it cannot be opened) and follows it to its end through Poll().
    // `withExport` false leaves its export out (a file shown again).
    bool OpenCurrent(bool withExport = true);
    // Follows the file in hand one step: its scan's status tick, then the
    // front end's own work, then its report, delivery and export. Returns
    // whether the file is still in hand.
    bool Poll();
    bool FileInHand() const { return phase_ != Phase::kIdle; }
    // The file in hand's full scan still runs.
    bool Scanning() const { return phase_ == Phase::kScanning; }
    // Lets go of the file in hand without its report (the file is closed).
    void DropFile();

    // Starts a run of the queue in `mode` from the current name on, one turn
    // per tick of the front end's timer.
    void StartRun(QueueMode mode);
    // One turn of a run driven by a timer: the next name once the file in
    // hand is over; the mode stops at the first broken file (or one that
    // cannot be opened) when asked; the run ends after the last name.
    enum class Turn { kStopped, kAgain, kFinished };
    Turn QueueTurn();
    // Stops the run; a running full scan stops too, and the file's report
    // keeps what it read, marked as stopped. The file in hand then finishes.
    // With `sumUp`, the files the run could not open are told as at its end.
    void Stop(bool sumUp = true);

    // Runs the whole queue in `mode`, blocking: each file is analysed, its
    // full scan waited for (woken by its end), its render test run, its report
    // delivered and its export written.
    enum class Result { kAllOpened, kSomeNotOpened, kInterrupted };
    Result Run(QueueMode mode, IRunEvents& events);

private:
    enum class Phase { kIdle, kScanning, kFinishing };
    bool Interrupted() const { return options_.interrupted && options_.interrupted->load(); }
    void Show(const UserMessage& message, MessageIcon icon);
    void FileFailed(size_t index, const std::string& path);
    void FinishFile();
    void EndQueue();
    void SumUpUnopened();
    bool RunsSideBySide(QueueMode mode) const;
    Result RunSideBySide(IRunEvents& events);

    Display& display_;
    CAnalysisDriver driver_;
    IMessageBox* messages_;
    FileQueue queue_;
    RunOptions options_;
    bool unattended_ = false;
    IRunEvents* events_ = nullptr;
    Phase phase_ = Phase::kIdle;
    bool exportPending_ = false;
    bool anyNotOpened_ = false;
    // The names a run that no message may halt could not open, with why.
    std::vector<std::pair<std::string, UserMessage>> unopened_;
};

}  // namespace torvo
