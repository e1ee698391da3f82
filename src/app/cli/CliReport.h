// Renders the display model of one analysed file for the terminal: as a text
// report, as NAME<TAB>value field lines, or as one JSON object (JSON Lines).
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "analysis/Display.h"
#include "analysis/DriverScan.h"
#include "analysis/TypedReport.h"

namespace torvo::cli {

std::string TextReport(const std::string& path, const Display& display);
std::string FieldLines(const Display& display);
// One line of JSON, without the line break.
// With a scan summary for files that were scanned whole, and further keys of
// the object (the render test's chains), each possibly null. With a typed
// report, the line ends in its "schema", "container" and "streams" members.
std::string JsonLine(const std::string& path, int typeId, const Display& display, const ScanSummary* scan = nullptr,
                     const nlohmann::ordered_json* extra = nullptr, const TypedReport* typed = nullptr);

}  // namespace torvo::cli
