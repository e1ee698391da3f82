#include "run/RunSession.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include "analysis/NameList.h"
#include "analysis/ReportLine.h"
#include "inventory/InventoryService.h"
#include "settings/Prefs.h"
#include "base/Translate.h"

namespace torvo {

namespace {

// Hands one list to `read`: standard input for "-" when there is one, else
// the file. A list that cannot be opened is reported; false then.
template <typename Read>
bool ReadList(const std::string& list, std::istream* standardInput, IMessageBox& messages, Read read) {
    if (list == "-" && standardInput) {
        read(*standardInput);
        return true;
    }
    std::ifstream file(list, std::ios::binary);
    if (!file) {
        const UserMessage m = CannotOpenMessage(list, std::strerror(errno));
        messages.Show(m.caption, m.text, MessageIcon::kWarning);
        return false;
    }
    read(file);
    return true;
}

}  // namespace

bool CollectQueueNames(std::vector<std::string>& names, const std::vector<std::string>& listFiles,
                       std::istream* standardInput, IMessageBox& messages, size_t* leftOut) {
    bool ok = true;
    for (const std::string& list : listFiles) {
        const size_t room = names.size() < FileQueue::kMaxNames ? FileQueue::kMaxNames - names.size() : 0;
        const bool opened = ReadList(list, standardInput, messages, [&](std::istream& in) {
            const std::vector<std::string> read = ReadListFile(in, room, leftOut);
            names.insert(names.end(), read.begin(), read.end());
        });
        if (!opened) ok = false;
    }
    return ok;
}

ListedNames CollectListedNames(std::vector<std::string>& names, const std::vector<std::string>& listFiles,
                               char separator, std::istream* standardInput, IMessageBox& messages) {
    ListedNames listed;
    for (const std::string& list : listFiles) {
        const bool opened = ReadList(list, standardInput, messages, [&](std::istream& in) {
            NameListRead read = ReadNameList(in, separator);
            if (read.overlong > 0) listed.overlong.emplace_back(list, read.overlong);
            names.insert(names.end(), std::make_move_iterator(read.names.begin()),
                         std::make_move_iterator(read.names.end()));
        });
        if (!opened) listed.listsOpened = false;
    }
    return listed;
}

void SwitchCodecInfoOff(const StoredSwitches& switches) {
    if (switches.store) SwitchCodecInfoOff(*switches.prefs, switches.storeExportEnabled);
    else switches.prefs->useCodecInfo = 0;
}

void SwitchCodecInfoOff(CPrefs& prefs, bool storeExportEnabled) {
    prefs.useCodecInfo = 0;
    prefs.Save(storeExportEnabled);
}

void SwitchExportOff(CPrefs& prefs) {
    prefs.exportEnabled = 0;
    prefs.Save(true);
}

std::function<CodecInventory*(bool& useCodecInfo)> InventoryWaitFor(CInventoryService& inventory,
                                                                    StoredSwitches switches,
                                                                    std::function<IMessageBox&()> messages) {
    // Files analysed side by side wait for the inventory together.
    auto waiting = std::make_shared<std::mutex>();
    return [&inventory, switches, messages = std::move(messages), waiting](bool& useCodecInfo) -> CodecInventory* {
        const std::lock_guard lock(*waiting);
        if (switches.prefs->useCodecInfo == 0) {  // an earlier wait timed out: no file waits again
            useCodecInfo = false;
            return nullptr;
        }
        const bool was = useCodecInfo;
        inventory.Wait(useCodecInfo);
        for (const InventoryMessage& m : inventory.TakeMessages())
            messages().Show(m.caption, m.text, MessageIcon::kWarning);
        // Timed out: codec interaction stays off, and the setting says so.
        if (was && !useCodecInfo) SwitchCodecInfoOff(switches);
        CodecInventory* published = inventory.Published();
        if (published && switches.rememberSearches) {
            const std::lock_guard searching(published->searchMutex);
            published->rememberSearches = true;
        }
        return published;
    };
}

void CRunSession::SetOptions(RunOptions options) {
    options_ = std::move(options);
    driver_.SetOptions(options_.driver);
}

void CRunSession::Show(const UserMessage& message, MessageIcon icon) {
    if (messages_) messages_->Show(message.caption, message.text, icon);
}

void CRunSession::StartUnattended(std::vector<std::string> names) {
    unattended_ = true;
    if (options_.exportSettings) options_.exportSettings->enabled = true;
    queue_.Fill(std::move(names));
    queue_.BackToFirst();
    queue_.SetMode(QueueMode::kRunAll);
}

void CRunSession::ChangeExportSettings(ExportSettings settings) {
    if (!options_.exportSettings) return;
    if (unattended_ && options_.exportSettings->enabled) settings.enabled = true;
    *options_.exportSettings = std::move(settings);
}

bool CRunSession::OpenCurrent(bool withExport) {
    driver_.StopScan();  // a scan belongs to its file
    phase_ = Phase::kIdle;
    if (!queue_.HasCurrent()) return false;
    const std::string& path = queue_.Current();
    const size_t index = static_cast<size_t>(queue_.Index()), count = queue_.Count();
    if (events_) events_->FileStarted(index, count, path);
    if (!driver_.AnalyseFile(path)) {
        FileFailed(index, path);
        return false;
    }
    exportPending_ = withExport;
    phase_ = driver_.Scan() ? Phase::kScanning : Phase::kFinishing;
    if (events_) events_->FileOpened({index, count, path, driver_, display_});
    return true;
}

// A file that cannot be opened: its message, unless a running queue may not
// wait for an answer (then it is a note, summed up at the queue's end). A run
// until the first error stops at it.
void CRunSession::FileFailed(size_t index, const std::string& path) {
    const UserMessage& message = driver_.LastMessage();
    const QueueMode mode = queue_.Mode();
    anyNotOpened_ = true;
    if (mode == QueueMode::kRunAll && options_.messagesWait) {
        display_.Container().Add(OneLine({message}), kColourWarning);
        unopened_.emplace_back(path, message);
    } else {
        Show(message, MessageIcon::kWarning);
    }
    if (mode == QueueMode::kRunUntilBroken) queue_.SetMode(QueueMode::kStopped);
    if (events_) events_->FileNotOpened(index, path, message);
}

bool CRunSession::Poll() {
    if (phase_ == Phase::kScanning) {
        if (driver_.OnStatusTick() == CAnalysisDriver::ScanTick::kRunning) {
            if (events_) events_->ScanProgress(static_cast<size_t>(queue_.Index()), queue_.Count(), queue_.Current(),
                                               *driver_.Scan());
            return true;
        }
        phase_ = Phase::kFinishing;
        if (events_) events_->ScanDone(static_cast<size_t>(queue_.Index()), queue_.Count(), queue_.Current());
    }
    if (phase_ != Phase::kFinishing) return false;
    if (options_.frontEndBusy && options_.frontEndBusy()) return true;
    FinishFile();
    return false;
}

// The file's render test, report and export, once its scan is over.
void CRunSession::FinishFile() {
    phase_ = Phase::kIdle;
    const std::string path = queue_.Current();
    const size_t index = static_cast<size_t>(queue_.Index()), count = queue_.Count();
    if (options_.renderTest) options_.renderTest({index, count, path, driver_, display_});
    const FileReport report = BuildFileReport(path, driver_, display_);
    if (events_) {
        const AnalysedFile file{index, count, path, driver_, display_, &report};
        events_->Deliver(index, path, events_->ReportReady(file), &driver_);
    }
    // A stopped scan leaves an unfinished record: it is not exported.
    const bool stopped = driver_.Scan() && driver_.Scan()->Stopped();
    if (exportPending_ && !stopped && options_.exportSettings && options_.exportSettings->enabled) {
        CExportWriter writer(*options_.exportSettings, options_.exportSwitchedOff);
        const ExportOutcome outcome = writer.ExportFile(report.display->Fields(), path);
        if (!events_ || !events_->TellsExportMessages())
            for (size_t i = 0; i < outcome.messages.size(); ++i)
                Show(outcome.messages[i], i == 0 ? MessageIcon::kWarning : MessageIcon::kInformation);
        if (events_) events_->ExportDone(path, outcome);
    }
    exportPending_ = false;
    if (events_) events_->FileFinished(index, path);
}

void CRunSession::DropFile() {
    driver_.StopScan();
    phase_ = Phase::kIdle;
    exportPending_ = false;
}

void CRunSession::StartRun(QueueMode mode) {
    unopened_.clear();
    anyNotOpened_ = false;
    queue_.SetMode(mode);
}

CRunSession::Turn CRunSession::QueueTurn() {
    if (queue_.Mode() == QueueMode::kStopped) return Turn::kStopped;
    // The next file waits for this one's scan and report, and for the front
    // end's own work (a render test the user started on it, say).
    auto busy = [this] { return phase_ != Phase::kIdle || (options_.frontEndBusy && options_.frontEndBusy()); };
    if (!busy() && !queue_.AtLast() && queue_.Next()) {
        OpenCurrent();
        if (queue_.Mode() == QueueMode::kRunUntilBroken && driver_.BrokenFile()) queue_.SetMode(QueueMode::kStopped);
    }
    if (busy()) return Turn::kAgain;
    if (queue_.AtLast() || queue_.Count() == 0) {
        queue_.SetMode(QueueMode::kStopped);
        EndQueue();
        return Turn::kFinished;
    }
    return queue_.Mode() == QueueMode::kStopped ? Turn::kStopped : Turn::kAgain;
}

// The queue's end: the files a run that no message halted could not open,
// in one message.
void CRunSession::EndQueue() {
    SumUpUnopened();
    if (events_) events_->QueueFinished();
}

void CRunSession::SumUpUnopened() {
    if (unopened_.empty()) return;
    std::string text = N_("Не удалось открыть ") + std::to_string(unopened_.size()) + N_(" файл(ов):");
    for (const auto& [path, message] : unopened_) text += "\n" + OneLine({message});
    unopened_.clear();
    Show({N_("Не открыть файл!!"), text}, MessageIcon::kWarning);
}

void CRunSession::Stop(bool sumUp) {
    queue_.SetMode(QueueMode::kStopped);
    if (phase_ == Phase::kScanning) driver_.StopScanKeepingResults();
    if (sumUp) SumUpUnopened();
    else unopened_.clear();
}

bool CRunSession::RunsSideBySide(QueueMode mode) const {
    const bool exporting = options_.exportSettings && options_.exportSettings->enabled;
    // The full scan does not prevent it: each worker waits for its own file's scan.
    return options_.workers > 1 && queue_.Count() > 1 && mode != QueueMode::kRunUntilBroken && !options_.renderTest &&
           !exporting && !options_.deliveryNeedsDriver && !options_.frontEndBusy;
}

CRunSession::Result CRunSession::Run(QueueMode mode, IRunEvents& events) {
    if (RunsSideBySide(mode)) return RunSideBySide(events);
    IRunEvents* const before = events_;
    events_ = &events;
    queue_.BackToFirst();
    StartRun(mode);
    Result result = Result::kAllOpened;
    for (;;) {
        const Turn turn = QueueTurn();
        // The file in hand to its end: its scan's status every 50 ms (interim
        // statistics), woken at once by the scan's end for the final ones.
        while (FileInHand() && !Interrupted())
            if (Poll()) driver_.WaitForScanEnd(std::chrono::milliseconds(50));
        if (Interrupted()) {
            DropFile();
            result = Result::kInterrupted;
            break;
        }
        if (turn == Turn::kStopped) EndQueue();
        if (turn != Turn::kAgain) {
            if (anyNotOpened_) result = Result::kSomeNotOpened;
            break;
        }
    }
    events_ = before;
    return result;
}

namespace {

// What a worker leaves for delivery: the report, or why the file could not be opened.
struct FileOutcome {
    bool ready = false;
    bool opened = false;
    std::string report;
    UserMessage message;
};

}  // namespace

// Each worker owns its driver and display and takes the next name; the
// calling thread delivers the outcomes in the queue's order, so the output is
// the one a single thread would write. Workers run at most a few files ahead
// of the delivery.
CRunSession::Result CRunSession::RunSideBySide(IRunEvents& events) {
    const std::vector<std::string>& names = queue_.Names();
    const size_t count = names.size();
    const size_t threads = std::min<size_t>(static_cast<size_t>(options_.workers), count);
    const size_t lead = 4 * threads;
    std::vector<FileOutcome> outcomes(count);
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0, delivered = 0;
    bool stopping = false;
    std::atomic<bool> stopRequested{false};  // read by workers waiting for a scan

    auto work = [&] {
        Display display;
        CAnalysisDriver driver(display);
        driver.SetOptions(options_.driver);
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || next >= count || next < delivered + lead; });
                if (stopping || next >= count) return;
                index = next++;
            }
            FileOutcome outcome;
            outcome.opened = driver.AnalyseFile(names[index]);
            // The report waits for the final statistics of the file's scan.
            while (outcome.opened && driver.OnStatusTick() == CAnalysisDriver::ScanTick::kRunning) {
                if (stopRequested.load()) {
                    driver.StopScan();
                    return;
                }
                driver.WaitForScanEnd(std::chrono::milliseconds(50));
            }
            if (outcome.opened) {
                const FileReport report = BuildFileReport(names[index], driver, display);
                outcome.report = events.ReportReady({index, count, names[index], driver, display, &report});
            }
            else outcome.message = driver.LastMessage();
            outcome.ready = true;
            {
                const std::lock_guard lock(mutex);
                outcomes[index] = std::move(outcome);
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (size_t i = 0; i < threads; ++i) workers.emplace_back(work);
    auto stop = [&] {
        stopRequested.store(true);
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread& t : workers) t.join();
    };

    bool notOpened = false;
    for (size_t index = 0; index < count; ++index) {
        FileOutcome outcome;
        {
            std::unique_lock lock(mutex);
            // Woken by a finished file; an interruption is looked at every 50 ms.
            while (!outcomes[index].ready) {
                if (Interrupted()) {
                    lock.unlock();
                    stop();
                    return Result::kInterrupted;
                }
                changed.wait_for(lock, std::chrono::milliseconds(50));
            }
            outcome = std::move(outcomes[index]);
            delivered = index + 1;
        }
        changed.notify_all();
        events.FileStarted(index, count, names[index]);
        if (!outcome.opened) {
            Show(outcome.message, MessageIcon::kWarning);
            events.FileNotOpened(index, names[index], outcome.message);
            notOpened = true;
        } else {
            events.Deliver(index, names[index], outcome.report, nullptr);
        }
        if (Interrupted()) {
            stop();
            return Result::kInterrupted;
        }
    }
    stop();
    events.QueueFinished();
    return notOpened ? Result::kSomeNotOpened : Result::kAllOpened;
}

}  // namespace torvo
