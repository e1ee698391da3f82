// The typed report of one file as JSON members: "schema", "container" and
// "streams", described by docs/torvo-report.schema.json.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "analysis/Driver.h"
#include "analysis/TypedReport.h"

namespace torvo::cli {

nlohmann::ordered_json TypedContainerJson(const TypedContainer& container);
nlohmann::ordered_json TypedStreamsJson(const TypedReport& report);

// The typed report of the file the driver has just analysed.
TypedReport TypedReportOf(const CAnalysisDriver& driver, const ScanSummary* scan = nullptr);

// The line written in place of a file that could not be analysed.
std::string ErrorLine(const std::string& path, const std::string& code, const std::string& message);

}  // namespace torvo::cli
