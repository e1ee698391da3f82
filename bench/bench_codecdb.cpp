// How long start-up spends reading the shipped codec database, and what the
// lookups the analysis makes per file cost.
#include <benchmark/benchmark.h>

#include <string>

#include "codecdb/ReadDatabase.h"

namespace {

const std::string kShipped = TORVO_SOURCE_DATA_DIR "/Torvo27.dat";

void LoadShippedDatabase(benchmark::State& state) {
    for (auto _ : state) {
        torvo::CReadDatabase db;
        if (!db.Load(kShipped, {})) state.SkipWithError("the shipped database did not load");
        benchmark::DoNotOptimize(db.Table(torvo::DbSection::kGuids).data());
    }
}
BENCHMARK(LoadShippedDatabase)->Unit(benchmark::kMicrosecond);

void LookUpCodecNames(benchmark::State& state) {
    torvo::CReadDatabase db;
    if (!db.Load(kShipped, {})) state.SkipWithError("the shipped database did not load");
    std::string audio;
    for (auto _ : state) {
        benchmark::DoNotOptimize(db.FindVideoCodec("Y410"));  // near the end of the table
        benchmark::DoNotOptimize(db.FindAudioFormat("0xffff", audio));
        benchmark::DoNotOptimize(db.DescribeHresult(256, 0x88780078));
    }
}
BENCHMARK(LookUpCodecNames);

}  // namespace
