// The whole analysis of every bundled sample in one process, of the benchmark
// corpus (bench/make_corpus.sh; TORVO_BENCH_CORPUS names its folder, default
// /tmp/torvo-corpus), and the transport stream test over a full 4 MiB header
// buffer (its worst case: no packet ever counts).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "analysis/Driver.h"

namespace {

// Every bundled sample, the format families' folders included.
std::vector<std::string> Samples() {
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(TORVO_TEST_DATA_DIR))
        if (entry.is_regular_file() && entry.path().extension() != ".sh") paths.push_back(entry.path().string());
    return paths;
}

void BM_AnalyseAllSamples(benchmark::State& state) {
    const auto paths = Samples();
    torvo::Display display;
    torvo::CAnalysisDriver driver(display);
    for (auto _ : state)
        for (const std::string& path : paths) benchmark::DoNotOptimize(driver.AnalyseFile(path));
    state.counters["files/s"] = benchmark::Counter(double(paths.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AnalyseAllSamples)->Unit(benchmark::kMillisecond);

// The header analysis of the corpus that bench/compare_mediainfo.sh times, without the process around it.
void BM_AnalyseCorpus(benchmark::State& state) {
    const char* folder = std::getenv("TORVO_BENCH_CORPUS");
    const std::filesystem::path corpus = folder && *folder ? folder : "/tmp/torvo-corpus";
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(corpus, error))
        if (entry.is_regular_file()) paths.push_back(entry.path().string());
    if (paths.empty()) {
        state.SkipWithError("no corpus: run bench/make_corpus.sh");
        return;
    }
    std::sort(paths.begin(), paths.end());
    torvo::Display display;
    torvo::CAnalysisDriver driver(display);
    torvo::DriverOptions options;
    options.scanEntireFile = false;
    driver.SetOptions(options);
    for (auto _ : state)
        for (const std::string& path : paths) benchmark::DoNotOptimize(driver.AnalyseFile(path));
    state.counters["files/s"] = benchmark::Counter(double(paths.size()), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_AnalyseCorpus)->Unit(benchmark::kMillisecond);

void BM_TransportTestOnSyncBytes(benchmark::State& state) {
    // Every byte is 0x47, but no packet carries a payload: all candidates are examined and rejected.
    std::vector<uint8_t> header(torvo::CFileCache::kHeaderSize, 0x47);
    for (size_t i = 3; i < header.size(); i += 4) header[i] = 0x00;
    const torvo::ByteView view(header.data(), header.size());
    for (auto _ : state) benchmark::DoNotOptimize(torvo::IsTransportStream(view));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(header.size()));
}
BENCHMARK(BM_TransportTestOnSyncBytes)->Unit(benchmark::kMillisecond);

void BM_TransportTestOnCompressedData(benchmark::State& state) {
    // The usual case: bytes like compressed media, a 0x47 every 256 bytes or so.
    std::vector<uint8_t> header(torvo::CFileCache::kHeaderSize);
    std::mt19937 random(7);
    for (uint8_t& b : header) b = static_cast<uint8_t>(random());
    const torvo::ByteView view(header.data(), header.size());
    for (auto _ : state) benchmark::DoNotOptimize(torvo::IsTransportStream(view));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(header.size()));
}
BENCHMARK(BM_TransportTestOnCompressedData)->Unit(benchmark::kMillisecond);

}  // namespace
