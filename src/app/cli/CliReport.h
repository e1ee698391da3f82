// The command line's part of a JSON report line: further keys (the render
// test's chains) as JSON values. The report itself is the core's FileReport.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "analysis/Display.h"
#include "analysis/DriverScan.h"
#include "analysis/ReportLine.h"
#include "analysis/TypedReport.h"

namespace torvo::cli {

// Further keys of a JSON line (the render test's chains) as the core takes them.
JsonMembers JsonMembersOf(const nlohmann::ordered_json& extra);
// The core's JSON line (JsonReportLine) with further keys of the object as
// JSON values (the render test's chains).
std::string JsonLine(const std::string& path, int typeId, const Display& display, const ScanSummary* scan = nullptr,
                     const nlohmann::ordered_json* extra = nullptr, const TypedReport* typed = nullptr);

}  // namespace torvo::cli
