// The report of one file as one line of JSON (JSON Lines), the same for every
// front end that writes it: the command line's --json, the window's copied
// report and the Python module. Keys are described by
// docs/torvo-report.schema.json.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "analysis/Display.h"
#include "analysis/Driver.h"
#include "analysis/DriverScan.h"
#include "analysis/TypedReport.h"

namespace torvo {

// Further members of a line, each value already written as JSON.
using JsonMembers = std::vector<std::pair<std::string, std::string>>;

// One line of JSON, without the line break. With a scan summary for files
// that were scanned whole, and further members (the render test's chains),
// each possibly null; a further member replaces one of the same name where
// it stands. With a typed report, the line ends in its "schema", "container"
// and "streams" members.
std::string JsonReportLine(const std::string& path, int typeId, const Display& display,
                           const ScanSummary* scan = nullptr, const JsonMembers* extra = nullptr,
                           const TypedReport* typed = nullptr);

// The typed report of the file the driver has just analysed, with its full
// scan's figures when it was scanned whole.
TypedReport TypedReportOf(const CAnalysisDriver& driver, const ScanSummary* scan = nullptr);

// The "container" object and the "streams" array of a typed report.
std::string TypedContainerJson(const TypedContainer& container);
std::string TypedStreamsJson(const TypedReport& report);

// The line written in place of a file that could not be analysed.
std::string ErrorJsonLine(const std::string& path, const std::string& code, const std::string& message);
// The same for `path` with the driver's message about it.
std::string NotOpenedJsonLine(const std::string& path, const UserMessage& message);

// A short code for why a file could not be analysed: not_found,
// permission_denied, is_directory or unreadable.
std::string FailureCode(const std::string& path);

// Messages as one line: "caption: text" joined by "; ", line breaks and runs
// of blanks folded into one blank.
std::string OneLine(const std::vector<UserMessage>& messages);

}  // namespace torvo
