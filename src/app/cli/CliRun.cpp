#include "CliRun.h"

#include <algorithm>
#include <sstream>

#include "CliInform.h"
#include "CliReport.h"
#include "analysis/FileReport.h"
#include "analysis/ReportLine.h"
#include "analysis/FileQueue.h"
#include "analysis/NameList.h"
#include "export/Template.h"
#include "export/TemplateKeys.h"
#include "run/RunSession.h"
#include "base/Translate.h"

namespace torvo::cli {
namespace {

// Collects the queue: file arguments first, then the names of each list
// file; each folder stands for the media files below it. Every name is
// kept: the window's queue limit is not the command line's. A folder without
// media files fails (in JSON, an error line in its place); skipped files and
// unreadable folders are told on standard error.
bool CollectNames(const Options& options, RunContext& context, IMessageBox& messages,
                  std::vector<std::string>& names) {
    names = options.files;
    const ListedNames listed = CollectListedNames(names, options.listFiles, options.nullSeparated ? '\0' : '\n',
                                                  &context.in, messages);
    bool ok = listed.listsOpened;
    for (const auto& [list, overlong] : listed.overlong) {
        context.err << "torvo-cli: " << list << ": " << overlong << " line(s) longer than a path can be, not analysed\n";
        ok = false;
    }
    ExpandedNames expanded = ExpandFolders(names);
    for (const std::string& folder : expanded.withoutMedia) {
        if (options.format == OutputFormat::kJson)
            context.out << ErrorJsonLine(folder, kNoMediaFilesCode, NoMediaFilesText(folder)) << "\n";
        ok = false;
    }
    if (const std::string notes = ExpansionNotes(expanded); !notes.empty()) context.err << Localise(notes) << "\n";
    names = std::move(expanded.names);
    return ok;
}

void PrintReport(const Options& options, const RunContext& context, std::ostream& out, const FileReport& report) {
    switch (options.format) {
        case OutputFormat::kText: out << ReportText(report) << "\n"; break;
        case OutputFormat::kFields: out << ReportFieldLines(report) << "\n"; break;
        case OutputFormat::kInform: {
            // One record a file; a template without a final line break gets one.
            const std::string record = SubstituteTemplate(context.informText, report.display->Fields());
            out << record << (record.ends_with('\n') ? "" : "\n");
            break;
        }
        case OutputFormat::kJson: out << ReportJsonLine(report) << "\n"; break;
    }
}

// Each unknown placeholder of an export template once, before the records
// that would carry "***ОШИБКА**" in its place.
void ReportUnknownKeys(RunContext& context, const std::string& templateText) {
    for (const std::string& key : UnknownTemplateKeys(templateText))
        context.err << "torvo-cli: the template names no report field " << key << "\n";
}

std::string ProgressPrefix(size_t index, size_t count, const std::string& path) {
    return "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "] " + path;
}

// The session's events and messages on the command line: reports on out,
// messages as "caption: text" and the progress line on err; in JSON mode a
// file that cannot be analysed is an error line in its place.
class CCliEvents : public IRunEvents, public IMessageBox {
public:
    CCliEvents(const Options& options, RunContext& context) : options_(options), context_(context) {}

    MessageAnswer Show(std::string_view caption, std::string_view text, MessageIcon, MessageButtons) override {
        ClearProgress();
        context_.err << Localise(caption) << ": " << Localise(text) << "\n" << std::flush;
        return MessageAnswer::kOk;
    }
    void FileStarted(size_t index, size_t count, const std::string& path) override {
        extra_ = nlohmann::ordered_json::object();
        prefix_ = ProgressPrefix(index, count, path);
        if (context_.progress) context_.err << "\r\033[K" << prefix_ << std::flush;
    }
    void FileNotOpened(size_t, const std::string& path, const UserMessage& message) override {
        if (options_.format == OutputFormat::kJson)
            context_.out << NotOpenedJsonLine(path, message) << "\n" << std::flush;
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
        FileReport report = *file.report;
        // Only a run of one file at a time has a render test writing keys.
        if (context_.renderTest) report.extra = JsonMembersOf(extra_);
        std::ostringstream out;
        PrintReport(options_, context_, out, report);
        return out.str();
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
    bool TellsExportMessages() const override { return true; }
    void ExportDone(const std::string&, const ExportOutcome& outcome) override {
        // A script reads one line and the status; export stays off for the rest of the run.
        if (!outcome.ok) {
            ClearProgress();
            context_.err << "torvo-cli: export failed: " << Localise(OneLine(outcome.messages)) << "\n" << std::flush;
            exportFailed_ = true;
        }
        if (!keysChecked_ && context_.exportSettings && context_.exportSettings->templateLoaded) {
            keysChecked_ = true;
            ReportUnknownKeys(context_, context_.exportSettings->loadedTemplate);
        }
    }
    void QueueFinished() override { ClearProgress(); }

    void ClearProgress() {
        if (context_.progress) context_.err << "\r\033[K" << std::flush;
    }
    // The render test writes its extra keys here.
    nlohmann::ordered_json& Extra() { return extra_; }
    bool Failed() const { return failed_; }
    bool ExportFailed() const { return exportFailed_; }

private:
    const Options& options_;
    RunContext& context_;
    nlohmann::ordered_json extra_ = nlohmann::ordered_json::object();
    std::string prefix_;
    bool failed_ = false, exportFailed_ = false, keysChecked_ = false;
};

}  // namespace

int RunQueue(const Options& options, RunContext& context) {
    CCliEvents events(options, context);
    std::vector<std::string> names;
    const bool listsRead = CollectNames(options, context, events, names);

    Display display;
    CRunSession session(display, &events);
    session.Queue() = FileQueue(FileQueue::kUnlimited);
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
    if (events.ExportFailed()) return kExportFailedStatus;
    return !listsRead || result == CRunSession::Result::kSomeNotOpened || events.Failed() ? 1 : 0;
}

}  // namespace torvo::cli
