// Running torvo-cli: fills the file queue from the arguments and list files,
// analyses every name in turn and prints each report.
#pragma once

#include <atomic>
#include <functional>
#include <iostream>

#include <nlohmann/json.hpp>

#include "CliOptions.h"
#include "analysis/Driver.h"
#include "export/ExportWriter.h"

namespace torvo::cli {

struct RunContext {
    std::istream& in = std::cin;    // names for "-f -"
    std::ostream& out = std::cout;  // reports
    std::ostream& err = std::cerr;  // messages and the progress line
    bool progress = false;          // show "[i/n] name" on err (only for a terminal)
    DriverOptions driverOptions;
    // Export of each analysed file, when switched on; saveSettings stores
    // the preferences after a failure switched export off.
    ExportSettings* exportSettings = nullptr;
    std::function<void()> saveSettings;
    // Set (by the SIGINT handler) to stop a running scan and end the run.
    const std::atomic<bool>* interrupted = nullptr;
    // Writes the GOP picture of the analysed file (--vgs); returns an error text, empty on success.
    std::function<std::string(const CAnalysisDriver&)> writeVgs;
    // The render test of each analysed file (--render), before its report.
    std::function<void(const std::string& path, const CAnalysisDriver& driver, Display& display,
                       nlohmann::ordered_json& extra)>
        renderTest;
    // Threads that analyse files side by side when each report depends on
    // nothing but its file (no scan, render test, picture, export or stop at
    // the first broken file); the reports still come in the queue's order.
    int analysisThreads = 1;
    // The template of --inform, read.
    std::string informText;
};

// The exit status of a run that Ctrl+C ended.
inline constexpr int kInterruptedStatus = 130;
// The exit status of a run in which an export failed (it outranks a file
// that could not be analysed).
inline constexpr int kExportFailedStatus = 4;

// Returns the exit status: 0 when every file was analysed, 1 when a file or
// a list file could not be opened (or the GOP picture not written),
// kExportFailedStatus when an export failed, 130 when interrupted.
int RunQueue(const Options& options, RunContext& context);

}  // namespace torvo::cli
