#include "CliRun.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "CliReport.h"
#include "TypedReportJson.h"
#include "analysis/DriverScan.h"
#include "analysis/FileQueue.h"
#include "analysis/NameList.h"
#include "export/Template.h"
#include "export/TemplateKeys.h"
#include "CliInform.h"

namespace torvo::cli {
namespace {

// Collects the queue: file arguments first, then the names of each list
// file; each folder stands for the media files below it. Every name is
// kept: the window's queue limit is not the command line's.
bool CollectNames(const Options& options, RunContext& context, std::vector<std::string>& names) {
    bool ok = true;
    names = options.files;
    const char separator = options.nullSeparated ? '\0' : '\n';
    for (const std::string& list : options.listFiles) {
        NameListRead read;
        if (list == "-") {
            read = ReadNameList(context.in, separator);
        } else {
            std::ifstream file(list, std::ios::binary);
            if (!file) {
                context.err << "Не открыть файл!!: НеМогу открыть файл " << list << ":\n\n"
                            << std::strerror(errno) << "\n";
                ok = false;
                continue;
            }
            read = ReadNameList(file, separator);
        }
        if (read.overlong > 0) {
            context.err << "torvo-cli: " << list << ": " << read.overlong
                        << " line(s) longer than a path can be, not analysed\n";
            ok = false;
        }
        names.insert(names.end(), std::make_move_iterator(read.names.begin()),
                     std::make_move_iterator(read.names.end()));
    }
    names = ExpandFolders(names).names;
    return ok;
}

void PrintReport(const Options& options, const RunContext& context, std::ostream& out, const std::string& path,
                 const CAnalysisDriver& driver, const Display& display, const nlohmann::ordered_json& extra) {
    std::optional<ScanSummary> scan;
    if (driver.Scan()) scan = SummariseScan(*driver.Scan());
    switch (options.format) {
        case OutputFormat::kText: out << TextReport(path, display) << "\n"; break;
        case OutputFormat::kFields: out << FieldLines(display) << "\n"; break;
        case OutputFormat::kInform: {
            // One record a file; a template without a final line break gets one.
            const std::string record = SubstituteTemplate(context.informText, display.Fields());
            out << record << (record.ends_with('\n') ? "" : "\n");
            break;
        }
        case OutputFormat::kJson:
        {
            const TypedReport typed = TypedReportOf(driver);
            out << JsonLine(path, driver.Container().typeId, display, scan ? &*scan : nullptr,
                            extra.empty() ? nullptr : &extra, &typed)
                << "\n";
        }
            break;
    }
    out.flush();
}

// Each unknown placeholder of a template once, before the records that
// would carry "***ОШИБКА**" in its place.
void ReportUnknownKeys(RunContext& context, const std::string& templateText) {
    for (const std::string& key : UnknownTemplateKeys(templateText))
        context.err << "torvo-cli: the template names no report field " << key << "\n";
}

bool Interrupted(const RunContext& context) { return context.interrupted && context.interrupted->load(); }

// Runs the status timer (every 50 ms) until the file's scan is done; false
// when interrupted. Between ticks it looks every 10 ms whether the scan has
// ended, so that the report follows the scan closely.
bool WaitForScan(RunContext& context, CAnalysisDriver& driver, const std::string& progressPrefix) {
    using namespace std::chrono_literals;
    for (int step = 0;; ++step) {
        const bool ended = !driver.Scan() || !driver.Scan()->Running();
        if (ended || step % 5 == 0) {
            if (driver.OnStatusTick() != CAnalysisDriver::ScanTick::kRunning) return true;
        }
        if (Interrupted(context)) {
            driver.StopScan();
            return false;
        }
        if (context.progress && step % 5 == 0) {
            const CFastScan& scan = *driver.Scan();
            const uint64_t size = std::max<uint64_t>(scan.FileSize(), 1);
            context.err << "\r\033[K" << progressPrefix << "  " << std::min<uint64_t>(100, scan.BytesRead() * 100 / size)
                        << "% " << scan.SpeedKiBps() / 1024 << " MiB/s" << std::flush;
        }
        std::this_thread::sleep_for(10ms);
    }
}

std::string ProgressPrefix(size_t index, size_t count, const std::string& path) {
    return "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + path;
}

bool ReportsStandAlone(const Options& options, const RunContext& context) {
    return !options.untilError && !context.driverOptions.scanEntireFile && !context.renderTest && !context.writeVgs &&
           !(context.exportSettings && context.exportSettings->enabled);
}

// What a worker leaves for the printer: the report, or the message of a
// file that could not be opened.
struct FileOutcome {
    bool ready = false;
    bool opened = false;
    std::string text;
    std::string errorLine;  // JSON mode: the line standing in for a file that failed
};

// Each worker owns its driver and display and takes the next name; the
// calling thread prints the outcomes in the queue's order, so the output is
// the one a single thread would write. Workers run at most a few files ahead
// of the printer.
int RunSideBySide(const Options& options, RunContext& context, const std::vector<std::string>& names, int status) {
    const size_t count = names.size();
    const size_t threads = std::min<size_t>(static_cast<size_t>(context.analysisThreads), count);
    const size_t lead = 4 * threads;
    std::vector<FileOutcome> outcomes(count);
    std::mutex mutex;
    std::condition_variable changed;
    size_t next = 0, printed = 0;
    bool stopping = false;

    auto work = [&] {
        Display display;
        CAnalysisDriver driver(display);
        driver.SetOptions(context.driverOptions);
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || next >= count || next < printed + lead; });
                if (stopping || next >= count) return;
                index = next++;
            }
            FileOutcome outcome;
            outcome.opened = driver.AnalyseFile(names[index]);
            if (outcome.opened) {
                std::ostringstream report;
                PrintReport(options, context, report, names[index], driver, display, nlohmann::ordered_json::object());
                outcome.text = report.str();
            } else {
                const UserMessage& m = driver.LastMessage();
                outcome.text = m.caption + ": " + m.text + "\n";
                if (options.format == OutputFormat::kJson)
                    outcome.errorLine = ErrorLine(names[index], FailureCode(names[index]), OneLine({m})) + "\n";
            }
            outcome.ready = true;
            {
                std::lock_guard lock(mutex);
                outcomes[index] = std::move(outcome);
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    for (size_t i = 0; i < threads; ++i) workers.emplace_back(work);
    auto stop = [&] {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread& t : workers) t.join();
    };

    for (size_t index = 0; index < count; ++index) {
        FileOutcome outcome;
        {
            std::unique_lock lock(mutex);
            // Woken by a finished file; Ctrl+C is looked at every 50 ms.
            while (!outcomes[index].ready) {
                if (Interrupted(context)) {
                    lock.unlock();
                    stop();
                    if (context.progress) context.err << "\r\033[K" << std::flush;
                    return kInterruptedStatus;
                }
                changed.wait_for(lock, std::chrono::milliseconds(50));
            }
            outcome = std::move(outcomes[index]);
            printed = index + 1;
        }
        changed.notify_all();
        if (context.progress) context.err << "\r\033[K" << ProgressPrefix(index, count, names[index]) << std::flush;
        if (!outcome.opened) {
            if (context.progress) context.err << "\r\033[K";
            context.err << outcome.text;
            context.out << outcome.errorLine << std::flush;
            status = 1;
        } else {
            context.out << outcome.text << std::flush;
        }
        if (Interrupted(context)) {
            stop();
            return kInterruptedStatus;
        }
    }
    stop();
    if (context.progress) context.err << "\r\033[K" << std::flush;
    return status;
}

}  // namespace

int RunQueue(const Options& options, RunContext& context) {
    std::vector<std::string> names;
    int status = CollectNames(options, context, names) ? 0 : 1;

    if (options.format == OutputFormat::kInform) ReportUnknownKeys(context, context.informText);
    bool exportFailed = false, keysChecked = false;
    FileQueue queue(FileQueue::kUnlimited);
    queue.Fill(std::move(names));
    queue.SetMode(options.untilError ? QueueMode::kRunUntilBroken : QueueMode::kRunAll);
    if (context.analysisThreads > 1 && queue.Count() > 1 && ReportsStandAlone(options, context)) {
        std::vector<std::string> all;
        for (bool more = true; more; more = queue.Next()) all.push_back(queue.Current());
        return RunSideBySide(options, context, all, status);
    }

    Display display;
    CAnalysisDriver driver(display);
    driver.SetOptions(context.driverOptions);
    for (bool more = queue.Count() > 0; more; more = queue.Next()) {
        const std::string& path = queue.Current();
        const std::string prefix = ProgressPrefix(static_cast<size_t>(queue.Index()), static_cast<size_t>(queue.Count()), path);
        if (context.progress) context.err << "\r\033[K" << prefix << std::flush;
        if (!driver.AnalyseFile(path)) {
            const UserMessage& m = driver.LastMessage();
            if (context.progress) context.err << "\r\033[K";
            context.err << m.caption << ": " << m.text << "\n";
            if (options.format == OutputFormat::kJson)
                context.out << ErrorLine(path, FailureCode(path), OneLine({m})) << "\n" << std::flush;
            status = 1;
            continue;  // the queue goes on, whatever its mode
        }
        // The report and the export wait for the final statistics of the scan.
        if (!WaitForScan(context, driver, prefix)) {
            if (context.progress) context.err << "\r\033[K" << std::flush;
            return kInterruptedStatus;
        }
        if (context.progress) context.err << "\r\033[K" << prefix << std::flush;
        nlohmann::ordered_json extra = nlohmann::ordered_json::object();
        if (context.renderTest) context.renderTest(path, driver, display, extra);
        PrintReport(options, context, context.out, path, driver, display, extra);
        if (context.writeVgs) {
            if (const std::string error = context.writeVgs(driver); !error.empty()) {
                context.err << error << "\n";
                status = 1;
            }
        }
        if (context.exportSettings && context.exportSettings->enabled) {
            CExportWriter writer(*context.exportSettings, context.saveSettings);
            const ExportOutcome outcome = writer.ExportFile(display.Fields(), path);
            // A script reads one line and the status; export stays off for the rest of the run.
            if (!outcome.ok) {
                context.err << "torvo-cli: export failed: " << OneLine(outcome.messages) << "\n";
                exportFailed = true;
            }
            if (!keysChecked && context.exportSettings->templateLoaded) {
                keysChecked = true;
                ReportUnknownKeys(context, context.exportSettings->loadedTemplate);
            }
        }
        if (queue.Mode() == QueueMode::kRunUntilBroken && driver.BrokenFile()) break;
        if (Interrupted(context)) return kInterruptedStatus;
    }
    if (context.progress) context.err << "\r\033[K" << std::flush;
    return exportFailed ? kExportFailedStatus : status;
}

}  // namespace torvo::cli
