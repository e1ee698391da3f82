#include "CliRun.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "CliReport.h"
#include "analysis/DriverScan.h"
#include "analysis/FileQueue.h"
#include "run/RunSession.h"

namespace torvo::cli {
namespace {

void PrintReport(const Options& options, std::ostream& out, const std::string& path, const CAnalysisDriver& driver,
                 const Display& display, const nlohmann::ordered_json& extra) {
    std::optional<ScanSummary> scan;
    if (driver.Scan()) scan = SummariseScan(*driver.Scan());
    switch (options.format) {
        case OutputFormat::kText: out << TextReport(path, display) << "\n"; break;
        case OutputFormat::kFields: out << FieldLines(display) << "\n"; break;
        case OutputFormat::kJson:
            out << JsonLine(path, driver.Container().typeId, display, scan ? &*scan : nullptr,
                            extra.empty() ? nullptr : &extra)
                << "\n";
            break;
    }
}

std::string ProgressPrefix(size_t index, size_t count, const std::string& path) {
    return "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + path;
}

// The session's events and messages on the command line: reports on out,
// messages as "caption: text" and the progress line on err.
class CCliEvents : public IRunEvents, public IMessageBox {
public:
    CCliEvents(const Options& options, RunContext& context) : options_(options), context_(context) {}

    MessageAnswer Show(std::string_view caption, std::string_view text, MessageIcon, MessageButtons) override {
        ClearProgress();
        context_.err << caption << ": " << text << "\n" << std::flush;
        return MessageAnswer::kOk;
    }
    void FileStarted(size_t index, size_t count, const std::string& path) override {
        extra_ = nlohmann::ordered_json::object();
        prefix_ = ProgressPrefix(index, count, path);
        if (context_.progress) context_.err << "\r\033[K" << prefix_ << std::flush;
    }
    void ScanProgress(size_t, size_t, const std::string&, const CFastScan& scan) override {
        if (!context_.progress) return;
        const uint64_t size = std::max<uint64_t>(scan.FileSize(), 1);
        context_.err << "\r\033[K" << prefix_ << "  " << std::min<uint64_t>(100, scan.BytesRead() * 100 / size) << "% "
                     << scan.SpeedKiBps() / 1024 << " MiB/s" << std::flush;
    }
    void ScanDone(size_t, size_t, const std::string&) override {
        if (context_.progress) context_.err << "\r\033[K" << prefix_ << std::flush;
    }
    std::string ReportReady(const AnalysedFile& file) override {
        // Only a run of one file at a time has a render test writing keys.
        static const nlohmann::ordered_json kNoExtra = nlohmann::ordered_json::object();
        std::ostringstream report;
        PrintReport(options_, report, file.path, file.driver, file.display, context_.renderTest ? extra_ : kNoExtra);
        return report.str();
    }
    void Deliver(size_t, const std::string&, const std::string& report, const CAnalysisDriver* driver) override {
        context_.out << report << std::flush;
        if (driver && context_.writeVgs) {
            if (const std::string error = context_.writeVgs(*driver); !error.empty()) {
                context_.err << error << "\n";
                failed_ = true;
            }
        }
    }
    void QueueFinished() override { ClearProgress(); }

    void ClearProgress() {
        if (context_.progress) context_.err << "\r\033[K" << std::flush;
    }
    // The render test writes its extra keys here.
    nlohmann::ordered_json& Extra() { return extra_; }
    bool Failed() const { return failed_; }

private:
    const Options& options_;
    RunContext& context_;
    nlohmann::ordered_json extra_ = nlohmann::ordered_json::object();
    std::string prefix_;
    bool failed_ = false;
};

}  // namespace

int RunQueue(const Options& options, RunContext& context) {
    CCliEvents events(options, context);
    std::vector<std::string> names = options.files;
    const bool listsRead = CollectQueueNames(names, options.listFiles, &context.in, events);

    Display display;
    CRunSession session(display, &events);
    session.Queue().Fill(std::move(names));
    RunOptions run;
    run.driver = context.driverOptions;
    run.exportSettings = context.exportSettings;
    run.exportSwitchedOff = context.saveSettings;
    run.interrupted = context.interrupted;
    run.workers = context.analysisThreads;
    run.deliveryNeedsDriver = static_cast<bool>(context.writeVgs);
    if (context.renderTest)
        run.renderTest = [&](const AnalysedFile& file) {
            context.renderTest(file.path, file.driver, file.display, events.Extra());
        };
    session.SetOptions(std::move(run));
    const CRunSession::Result result =
        session.Run(options.untilError ? QueueMode::kRunUntilBroken : QueueMode::kRunAll, events);
    if (result == CRunSession::Result::kInterrupted) {
        events.ClearProgress();
        return kInterruptedStatus;
    }
    return !listsRead || result == CRunSession::Result::kSomeNotOpened || events.Failed() ? 1 : 0;
}

}  // namespace torvo::cli
