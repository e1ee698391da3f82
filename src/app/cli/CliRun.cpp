#include "CliRun.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <cstring>
#include <fstream>
#include <thread>

#include "CliReport.h"
#include "analysis/DriverScan.h"
#include "analysis/FileQueue.h"

namespace torvo::cli {
namespace {

// Collects the queue: file arguments first, then the names of each list file.
bool CollectNames(const Options& options, RunContext& context, std::vector<std::string>& names) {
    bool ok = true;
    names = options.files;
    for (const std::string& list : options.listFiles) {
        const size_t room = names.size() < FileQueue::kMaxNames ? FileQueue::kMaxNames - names.size() : 0;
        std::vector<std::string> read;
        if (list == "-") {
            read = ReadListFile(context.in, room);
        } else {
            std::ifstream file(list, std::ios::binary);
            if (!file) {
                context.err << "Не открыть файл!!: НеМогу открыть файл " << list << ":\n\n"
                            << std::strerror(errno) << "\n";
                ok = false;
                continue;
            }
            read = ReadListFile(file, room);
        }
        names.insert(names.end(), read.begin(), read.end());
    }
    return ok;
}

void PrintReport(const Options& options, RunContext& context, const std::string& path, const CAnalysisDriver& driver,
                 const Display& display, const nlohmann::ordered_json& extra) {
    std::optional<ScanSummary> scan;
    if (driver.Scan()) scan = SummariseScan(*driver.Scan());
    switch (options.format) {
        case OutputFormat::kText: context.out << TextReport(path, display) << "\n"; break;
        case OutputFormat::kFields: context.out << FieldLines(display) << "\n"; break;
        case OutputFormat::kJson:
            context.out << JsonLine(path, driver.Container().typeId, display, scan ? &*scan : nullptr,
                                    extra.empty() ? nullptr : &extra)
                        << "\n";
            break;
    }
    context.out.flush();
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

}  // namespace

int RunQueue(const Options& options, RunContext& context) {
    std::vector<std::string> names;
    int status = CollectNames(options, context, names) ? 0 : 1;

    FileQueue queue;
    queue.Fill(std::move(names));
    queue.SetMode(options.untilError ? QueueMode::kRunUntilBroken : QueueMode::kRunAll);

    Display display;
    CAnalysisDriver driver(display);
    driver.SetOptions(context.driverOptions);
    for (bool more = queue.Count() > 0; more; more = queue.Next()) {
        const std::string& path = queue.Current();
        const std::string prefix = "[" + std::to_string(queue.Index() + 1) + "/" + std::to_string(queue.Count()) + "] " + path;
        if (context.progress) context.err << "\r\033[K" << prefix << std::flush;
        if (!driver.AnalyseFile(path)) {
            const UserMessage& m = driver.LastMessage();
            if (context.progress) context.err << "\r\033[K";
            context.err << m.caption << ": " << m.text << "\n";
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
        PrintReport(options, context, path, driver, display, extra);
        if (context.writeVgs) {
            if (const std::string error = context.writeVgs(driver); !error.empty()) {
                context.err << error << "\n";
                status = 1;
            }
        }
        if (context.exportSettings && context.exportSettings->enabled) {
            CExportWriter writer(*context.exportSettings, context.saveSettings);
            for (const UserMessage& m : writer.ExportFile(display.Fields(), path).messages)
                context.err << m.caption << ": " << m.text << "\n";
        }
        if (queue.Mode() == QueueMode::kRunUntilBroken && driver.BrokenFile()) break;
        if (Interrupted(context)) return kInterruptedStatus;
    }
    if (context.progress) context.err << "\r\033[K" << std::flush;
    return status;
}

}  // namespace torvo::cli
