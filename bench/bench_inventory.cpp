// The codec inventory on this machine's GStreamer: gathering it from the
// registry (registry in memory already), the warm start from the inventory
// cache, and one status question (the video of an AVI file) over the table.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "analysis/Display.h"
#include "analysis/Driver.h"
#include "inventory/CodecStatus.h"
#include "inventory/InventoryService.h"
#include "platform/gstreamer/GstInventoryCache.h"

namespace {

using namespace torvo;

std::string ScratchCache() {
    static const std::string dir = std::filesystem::temp_directory_path() / ("torvo-bench-" + std::to_string(getpid()));
    return dir;
}

void Gather(const GstGatherOptions& options, benchmark::State& state) {
    for (auto _ : state) {
        CodecInventory inventory;
        std::vector<InventoryMessage> messages;
        GstInventoryGatherer({}, options)(inventory, messages);
        benchmark::DoNotOptimize(inventory.Count());
        state.counters["entries"] = inventory.Count();
    }
}

void BM_GatherFromRegistry(benchmark::State& state) { Gather(WithoutCache(), state); }

void BM_WarmStartFromCache(benchmark::State& state) {
    GstGatherOptions options;
    options.extraKey = "bench";
    options.cacheDir = ScratchCache();
    CodecInventory first;
    std::vector<InventoryMessage> messages;
    GstInventoryGatherer({}, options)(first, messages);  // writes the cache
    Gather(options, state);
}

// The key of the cache, computed on every start (a stat of every plugin file).
void BM_CacheKey(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(GstInventoryKey("bench"));
}

// This machine's inventory and the records of one analysed AVI file.
struct AnalysedAvi {
    CInventoryService service{GstInventoryGatherer({}, WithoutCache())};
    Display display;
    CAnalysisDriver driver{display};
    AnalysedAvi() {
        bool on = true;
        service.Wait(on);
        driver.AnalyseFile(std::string(TORVO_TEST_DATA_DIR) + "/riff/avi_xvid_bframes_mp3cbr.avi");
    }
    AnalysisRecords& Records() { return const_cast<AnalysisRecords&>(driver.Records()); }
};

void BM_StatusQuestion(benchmark::State& state) {
    AnalysedAvi avi;
    for (auto _ : state) benchmark::DoNotOptimize(VideoStatusCode(avi.service.Published(), avi.Records(), true, false));
}

void BM_StatusQuestionMissing(benchmark::State& state) {
    // A FourCC nothing decodes: the search runs to its full depth.
    AnalysedAvi avi;
    avi.Records().video.fourcc = 0x5A5A5A5A;
    for (auto _ : state) benchmark::DoNotOptimize(VideoStatusCode(avi.service.Published(), avi.Records(), true, false));
}

}  // namespace

BENCHMARK(BM_GatherFromRegistry)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WarmStartFromCache)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheKey)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusQuestion)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusQuestionMissing)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(ScratchCache());
    return 0;
}
