#include "run/RunSession.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include "inventory/InventoryService.h"
#include "settings/Prefs.h"

namespace torvo {

bool CollectQueueNames(std::vector<std::string>& names, const std::vector<std::string>& listFiles,
                       std::istream* standardInput, IMessageBox& messages, size_t* leftOut) {
    bool ok = true;
    for (const std::string& list : listFiles) {
        const size_t room = names.size() < FileQueue::kMaxNames ? FileQueue::kMaxNames - names.size() : 0;
        std::vector<std::string> read;
        if (list == "-" && standardInput) {
            read = ReadListFile(*standardInput, room, leftOut);
        } else {
            std::ifstream file(list, std::ios::binary);
            if (!file) {
                const UserMessage m = CannotOpenMessage(list, std::strerror(errno));
                messages.Show(m.caption, m.text, MessageIcon::kWarning);
                ok = false;
                continue;
            }
            read = ReadListFile(file, room, leftOut);
        }
        names.insert(names.end(), read.begin(), read.end());
    }
    return ok;
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
        if (was && !useCodecInfo) {
            if (switches.store) SwitchCodecInfoOff(*switches.prefs, switches.storeExportEnabled);
            else switches.prefs->useCodecInfo = 0;
        }
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

bool CRunSession::AnalyseCurrent() {
    if (!queue_.HasCurrent()) return false;
    if (driver_.AnalyseFile(queue_.Current())) return true;
    Show(driver_.LastMessage(), MessageIcon::kWarning);
    return false;
}

ExportOutcome CRunSession::ExportAnalysedQuietly(const std::string& path) {
    if (!options_.exportSettings || !options_.exportSettings->enabled) return {};
    CExportWriter writer(*options_.exportSettings, options_.exportSwitchedOff);
    return writer.ExportFile(display_.Fields(), path);
}

bool CRunSession::ExportAnalysed(const std::string& path) {
    if (!options_.exportSettings || !options_.exportSettings->enabled) return false;
    const ExportOutcome outcome = ExportAnalysedQuietly(path);
    for (size_t i = 0; i < outcome.messages.size(); ++i)
        Show(outcome.messages[i], i == 0 ? MessageIcon::kWarning : MessageIcon::kInformation);
    return outcome.ok;
}

CRunSession::Turn CRunSession::QueueTurn(const std::function<bool()>& busy, const std::function<void()>& analyse) {
    if (queue_.Mode() == QueueMode::kStopped) return Turn::kStopped;
    // The next file waits for this one's scan and for a render of it.
    if (!busy() && !queue_.AtLast() && queue_.Next()) {
        analyse();
        if (queue_.Mode() == QueueMode::kRunUntilBroken && driver_.BrokenFile()) queue_.SetMode(QueueMode::kStopped);
    }
    if (busy()) return Turn::kAgain;
    if (queue_.AtLast() || queue_.Count() == 0) {
        queue_.SetMode(QueueMode::kStopped);
        return Turn::kFinished;
    }
    return queue_.Mode() == QueueMode::kStopped ? Turn::kStopped : Turn::kAgain;
}

// The driver's status tick every 50 ms (interim statistics), woken at once by
// the scan's end for the final ones; false when interrupted.
bool CRunSession::WaitForScan(IRunEvents& events) {
    using namespace std::chrono_literals;
    const size_t index = static_cast<size_t>(queue_.Index()), count = queue_.Count();
    for (;;) {
        if (driver_.OnStatusTick() != CAnalysisDriver::ScanTick::kRunning) return true;
        if (Interrupted()) {
            driver_.StopScan();
            return false;
        }
        events.ScanProgress(index, count, queue_.Current(), *driver_.Scan());
        driver_.WaitForScanEnd(50ms);
    }
}

bool CRunSession::RunsSideBySide(QueueMode mode) const {
    const bool exporting = options_.exportSettings && options_.exportSettings->enabled;
    // The full scan does not prevent it: each worker waits for its own file's scan.
    return options_.workers > 1 && queue_.Count() > 1 && mode != QueueMode::kRunUntilBroken && !options_.renderTest &&
           !exporting && !options_.deliveryNeedsDriver;
}

CRunSession::Result CRunSession::Run(QueueMode mode, IRunEvents& events) {
    if (RunsSideBySide(mode)) return RunSideBySide(events);
    queue_.BackToFirst();
    queue_.SetMode(mode);
    bool notOpened = false, interrupted = false;
    auto processFile = [&] {
        const std::string path = queue_.Current();
        const size_t index = static_cast<size_t>(queue_.Index()), count = queue_.Count();
        events.FileStarted(index, count, path);
        if (!AnalyseCurrent()) {
            events.FileNotOpened(index, path, driver_.LastMessage());
            notOpened = true;  // the queue goes on, whatever its mode
            return;
        }
        // The report and the export wait for the final statistics of the scan.
        if (!WaitForScan(events)) {
            interrupted = true;
            return;
        }
        events.ScanDone(index, count, path);
        const AnalysedFile file{index, count, path, driver_, display_};
        if (options_.renderTest) options_.renderTest(file);
        events.Deliver(index, path, events.ReportReady(file), &driver_);
        if (options_.exportSettings && options_.exportSettings->enabled) {
            const ExportOutcome outcome = ExportAnalysedQuietly(path);
            if (!events.TellsExportMessages())
                for (size_t i = 0; i < outcome.messages.size(); ++i)
                    Show(outcome.messages[i], i == 0 ? MessageIcon::kWarning : MessageIcon::kInformation);
            events.ExportDone(path, outcome);
        }
    };
    for (;;) {
        const Turn turn = QueueTurn([] { return false; }, processFile);
        if (interrupted || Interrupted()) return Result::kInterrupted;
        if (turn != Turn::kAgain) break;
    }
    events.QueueFinished();
    return notOpened ? Result::kSomeNotOpened : Result::kAllOpened;
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
            if (outcome.opened) outcome.report = events.ReportReady({index, count, names[index], driver, display});
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
