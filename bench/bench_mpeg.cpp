// Throughput of the MPEG-family analysis over 4 MiB of data (the size of the
// reader's header buffer): the whole program-stream analysis, and each
// elementary frame scan. Inputs are the committed samples repeated to 4 MiB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

#include "formats/mpeg/SupDV.h"
#include "formats/mpeg/SupH264.h"
#include "formats/mpeg/SupMpg.h"
#include "formats/mpeg/SupMpg4.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSize = 4 << 20;

// A sample repeated until it fills 4 MiB.
Bytes Filled(const std::string& name) {
    std::ifstream in(std::string(TORVO_TEST_DATA_DIR) + "/mpeg/" + name, std::ios::binary);
    const Bytes one{std::istreambuf_iterator<char>(in), {}};
    Bytes all;
    all.reserve(kSize);
    while (!one.empty() && all.size() < kSize)
        all.insert(all.end(), one.begin(), one.begin() + static_cast<std::ptrdiff_t>(std::min(one.size(), kSize - all.size())));
    return all;
}

void SetRate(benchmark::State& state, const Bytes& data) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

// The whole analysis of a program stream, and of a video elementary stream
// (whose parsers and header vote walk the start codes of one index, the vote
// passing the slices by).
void MpegAnalysis(benchmark::State& state, const char* sample) {
    const Bytes data = Filled(sample);
    for (auto _ : state) {
        torvo::AnalysisRecords records;
        torvo::CSupMpg mpg(records);
        mpg.Analyse(torvo::ByteView(data.data(), data.size()), data.size());
        benchmark::DoNotOptimize(records.container.muxRateKbps);
        benchmark::DoNotOptimize(records.video.headers[0].width);
    }
    SetRate(state, data);
}
BENCHMARK_CAPTURE(MpegAnalysis, program_stream, "dvd_pal_ac3.vob")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MpegAnalysis, video_elementary, "mpeg2_interlaced.m2v")->Unit(benchmark::kMillisecond);

template <typename Parser>
void AudioScan(benchmark::State& state, const char* sample) {
    const Bytes data = Filled(sample);
    Parser parser;
    torvo::AudioResult result;
    for (auto _ : state) {
        if constexpr (std::is_same_v<Parser, torvo::CSupAAC>) {
            torvo::ContainerInfo container;
            benchmark::DoNotOptimize(parser.Analyse(torvo::ByteView(data.data(), data.size()), result, container));
        } else {
            benchmark::DoNotOptimize(parser.Analyse(torvo::ByteView(data.data(), data.size()), result));
        }
    }
    SetRate(state, data);
}
void Mp3Scan(benchmark::State& state, const char* sample) { AudioScan<torvo::CSupMp3>(state, sample); }
void Ac3Scan(benchmark::State& state, const char* sample) { AudioScan<torvo::CSupAC3>(state, sample); }
void AacScan(benchmark::State& state, const char* sample) { AudioScan<torvo::CSupAAC>(state, sample); }
BENCHMARK_CAPTURE(Mp3Scan, mp3, "mp3_cbr128.mp3")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Mp3Scan, mp2, "mp2_48000.mp2")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ac3Scan, ac3, "ac3_51.ac3")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AacScan, aac, "aac_stereo.aac")->Unit(benchmark::kMillisecond);
// Every ADTS frame starts with what looks like an MPEG audio sync: a lost sync per frame.
BENCHMARK_CAPTURE(Mp3Scan, on_adts, "aac_stereo.aac")->Unit(benchmark::kMillisecond);
// Worst cases: no frame anywhere, so every byte is searched.
BENCHMARK_CAPTURE(Mp3Scan, on_video, "mpeg2_interlaced.m2v")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ac3Scan, on_video, "mpeg2_interlaced.m2v")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AacScan, on_video, "mpeg2_interlaced.m2v")->Unit(benchmark::kMillisecond);

void BM_VideoScans(benchmark::State& state) {
    const Bytes m4v = Filled("mpeg4_bframes.m4v"), h264 = Filled("h264_640x360.264"), dv = Filled("mpeg2_interlaced.m2v");
    for (auto _ : state) {
        torvo::ContainerInfo container;
        torvo::VideoInfo video;
        benchmark::DoNotOptimize(torvo::CSupMpg4().Analyse(container, video, torvo::ByteView(m4v.data(), m4v.size())));
        torvo::VideoHeader header;
        benchmark::DoNotOptimize(torvo::CSupH264().Analyse(header, torvo::ByteView(h264.data(), h264.size())));
        torvo::DvInfo info;
        benchmark::DoNotOptimize(torvo::CSupDV().Analyse(info, torvo::ByteView(dv.data(), dv.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 3 * int64_t(kSize));
}
BENCHMARK(BM_VideoScans)->Unit(benchmark::kMillisecond);

}  // namespace
