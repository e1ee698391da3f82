#include "CliRun.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "CliReport.h"
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
    switch (options.format) {
        case OutputFormat::kText: context.out << TextReport(path, display) << "\n"; break;
        case OutputFormat::kFields: context.out << FieldLines(display) << "\n"; break;
        case OutputFormat::kJson: context.out << JsonLine(path, driver.Container().typeId, display, extra.empty() ? nullptr : &extra) << "\n"; break;
    }
    context.out.flush();
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
        if (context.progress)
            context.err << "\r\033[K[" << queue.Index() + 1 << "/" << queue.Count() << "] " << path << std::flush;
        if (!driver.AnalyseFile(path)) {
            const UserMessage& m = driver.LastMessage();
            if (context.progress) context.err << "\r\033[K";
            context.err << m.caption << ": " << m.text << "\n";
            status = 1;
            continue;  // the queue goes on, whatever its mode
        }
        nlohmann::ordered_json extra = nlohmann::ordered_json::object();
        if (context.renderTest) context.renderTest(path, driver, display, extra);
        PrintReport(options, context, path, driver, display, extra);
        if (context.exportSettings && context.exportSettings->enabled) {
            CExportWriter writer(*context.exportSettings, context.saveSettings);
            for (const UserMessage& m : writer.ExportFile(display.Fields(), path).messages)
                context.err << m.caption << ": " << m.text << "\n";
        }
        if (queue.Mode() == QueueMode::kRunUntilBroken && driver.BrokenFile()) break;
    }
    if (context.progress) context.err << "\r\033[K" << std::flush;
    return status;
}

}  // namespace torvo::cli
