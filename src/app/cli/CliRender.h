// The render test in the command-line front end: run to its end right after
// the analysis of a file, its rows in the render list of the report.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

#include "analysis/Display.h"
#include "records/Records.h"
#include "render/RenderTest.h"

namespace torvo::cli {

struct RenderRun {
    CRenderTest& test;
    CodecInventory* inventory = nullptr;  // may be null: the rows then name no entries
    std::function<void()> switchCodecInfoOff;
    std::ostream& err;
    int tickMs = 50;
};

// Runs the test on the file, ticking until its rows are written; the chains
// and the result code go to extra (JSON "render_chains").
void RunRenderTest(RenderRun& run, const std::string& path, const AnalysisRecords& records, Display& display,
                   nlohmann::ordered_json& extra);

}  // namespace torvo::cli
