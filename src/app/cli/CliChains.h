// The suggested chains in the command-line front end (--chains, --build):
// the chains the inventory offers for the video or the first audio stream of
// a file, as lines of the render list, each built for real on request.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "analysis/Display.h"
#include "records/Records.h"
#include "render/SuggestedChains.h"

namespace torvo::cli {

struct ChainsRun {
    ChainKind kind = ChainKind::kVideo;
    bool build = false;
    CodecInventory* inventory = nullptr;
    GuidNameLookup guidNames;
    std::function<std::string(uint32_t)> describeHresult;
    std::function<std::unique_ptr<IChainBuildPlatform>()> makeBuilder;
};

// Appends the chain rows to the render list and the chains to extra
// (JSON "chains").
void RunChains(const ChainsRun& run, const std::string& path, const AnalysisRecords& records, Display& display,
               nlohmann::ordered_json& extra);

}  // namespace torvo::cli
