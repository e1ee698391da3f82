#include "CliReport.h"

namespace torvo::cli {

JsonMembers JsonMembersOf(const nlohmann::ordered_json& extra) {
    JsonMembers members;
    for (const auto& [key, value] : extra.items())
        members.emplace_back(key, value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    return members;
}

std::string JsonLine(const std::string& path, int typeId, const Display& display, const ScanSummary* scan,
                     const nlohmann::ordered_json* extra, const TypedReport* typed) {
    if (!extra) return JsonReportLine(path, typeId, display, scan, nullptr, typed);
    const JsonMembers members = JsonMembersOf(*extra);
    return JsonReportLine(path, typeId, display, scan, &members, typed);
}

}  // namespace torvo::cli
