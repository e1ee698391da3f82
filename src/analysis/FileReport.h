// The report of one analysed file, built once by the core: the display model
// (panels, notes, lamps), the export fields it holds, the full scan's summary
// and the typed facts (with what the readers found wrong). The command line's
// text, field lines and JSON, the window's panels, copy and save, the export
// and the Python module all render this one object.
#pragma once

#include <optional>
#include <string>

#include "analysis/Display.h"
#include "analysis/Driver.h"
#include "analysis/DriverScan.h"
#include "analysis/ReportLine.h"
#include "analysis/TypedReport.h"

namespace torvo {

struct FileReport {
    std::string path;
    int typeId = 0;
    // The display model; its Fields() are the export fields.
    const Display* display = nullptr;
    // The figures of a full scan (finished, or stopped with what was read).
    std::optional<ScanSummary> scan;
    TypedReport typed;
    // A front end's further members of the JSON line (the render test's chains).
    JsonMembers extra;
};

// The report of the file the driver has just analysed into `display`.
FileReport BuildFileReport(const std::string& path, const CAnalysisDriver& driver, const Display& display);

// The report as one line of JSON, without the line break.
std::string ReportJsonLine(const FileReport& report);
// The report as readable text: the panels in the window's order.
std::string ReportText(const FileReport& report);
// The export fields as NAME<TAB>value lines.
std::string ReportFieldLines(const FileReport& report);

}  // namespace torvo
