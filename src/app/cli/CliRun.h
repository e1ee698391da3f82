// Running torvo-cli: fills the file queue from the arguments and list files,
// analyses every name in turn and prints each report.
#pragma once

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
    // The render test of each analysed file (--render), before its report.
    std::function<void(const std::string& path, const CAnalysisDriver& driver, Display& display,
                       nlohmann::ordered_json& extra)>
        renderTest;
};

// Returns the exit status: 0 when every file was analysed, 1 when a file or
// a list file could not be opened.
int RunQueue(const Options& options, RunContext& context);

}  // namespace torvo::cli
