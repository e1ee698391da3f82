#include "CliChains.h"

#include "settings/ProgramLocation.h"

namespace torvo::cli {
namespace {

const char* ElementType(ChainElementType t) {
    switch (t) {
        case ChainElementType::kHeader: return "header";
        case ChainElementType::kEntry: return "entry";
        case ChainElementType::kMediaType: return "media_type";
        case ChainElementType::kRenderer: return "renderer";
    }
    return "";
}

}  // namespace

void RunChains(const ChainsRun& run, const std::string& path, const AnalysisRecords& records, Display& display,
               nlohmann::ordered_json& extra) {
    CSuggestedChains chains(run.guidNames);
    const int found = chains.Suggest(run.kind, run.inventory, ChainStreamTypes(records, run.kind, 0), path);
    std::vector<nlohmann::ordered_json> builds(static_cast<size_t>(kChainSlots));
    if (run.build && found > 0) {
        std::unique_ptr<IChainBuildPlatform> builder = run.makeBuilder ? run.makeBuilder() : nullptr;
        for (int i = 0; i < found; ++i) {
            const ChainBuildRequest request = chains.Request(run.kind, i, path);
            ChainBuildReport report;
            if (builder) report = builder->BuildChain(request);
            else report.message = "no platform to build with";
            chains.ApplyBuild(run.kind, i, request, report, run.describeHresult);
            builds[size_t(i)] = {{"ok", BuildSucceeded(report)},
                                 {"text", BuildSucceeded(report) ? std::string("paused")
                                                                 : BuildErrorText(request, report, run.describeHresult)}};
            if (report.crashed) builds[size_t(i)]["crash_report"] = ChainCrashReport(report, ProgramPath());
        }
    }
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    int index = 0;
    for (const ChainRow& row : chains.Rows()) {
        display.Render().Add(row.text, row.colour);
        if (!row.line) continue;
        nlohmann::ordered_json elements = nlohmann::ordered_json::array();
        for (const ChainElement& e : row.line->elements)
            elements.push_back({{"text", e.text}, {"detail", e.detail}, {"type", ElementType(e.type)}});
        nlohmann::ordered_json chain = {{"line", row.text}, {"elements", std::move(elements)}};
        if (run.build && index < kChainSlots) chain["build"] = builds[size_t(index)];
        list.push_back(std::move(chain));
        ++index;
    }
    extra["chains"] = {{"kind", run.kind == ChainKind::kAudio ? "audio" : "video"}, {"found", found}, {"chains", list}};
}

}  // namespace torvo::cli
