// Throughput of the full scan's scanners over data in memory, fed in the read
// loop's 4 MiB buffers with their 256 KiB overlap: the MPEG system stream path
// (packs, PES packets and the picture recorder), the elementary path and the
// AVI chunk path. Inputs are committed samples repeated to 64 MiB.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/mpeg/SystemScanner.h"
#include "formats/riff/AviChunkScanner.h"

namespace {

using namespace torvo;
using Bytes = std::vector<uint8_t>;
constexpr size_t kSize = 64 << 20, kChunk = 0x400000, kOverlap = 0x40000;

Bytes Sample(const std::string& name) {
    std::ifstream in(std::string(TORVO_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(in), {}};
}

Bytes Repeated(const Bytes& one, size_t size) {
    Bytes all;
    all.reserve(size);
    while (!one.empty() && all.size() < size)
        all.insert(all.end(), one.begin(), one.begin() + static_cast<std::ptrdiff_t>(std::min(one.size(), size - all.size())));
    return all;
}

// An AVI whose 'movi' list holds 4 KiB video chunks of MPEG-4 data and 1 KiB audio chunks.
Bytes BigAvi() {
    const Bytes video = Sample("mpeg/mpeg4_plain.m4v");
    Bytes movi;
    auto chunk = [&movi](const char* id, const uint8_t* data, size_t n) {
        movi.insert(movi.end(), id, id + 4);
        for (int i = 0; i < 4; ++i) movi.push_back(static_cast<uint8_t>(n >> (8 * i)));
        movi.insert(movi.end(), data, data + n);
    };
    for (size_t at = 0; movi.size() < kSize - 8192; at = (at + 4096) % (video.size() - 4096)) {
        chunk("00dc", video.data() + at, 4096);
        chunk("01wb", video.data(), 1024);
    }
    Bytes avi = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' ', 'L', 'I', 'S', 'T'};
    const uint32_t listSize = static_cast<uint32_t>(movi.size() + 4);
    for (int i = 0; i < 4; ++i) avi.push_back(static_cast<uint8_t>(listSize >> (8 * i)));
    avi.insert(avi.end(), {'m', 'o', 'v', 'i'});
    avi.insert(avi.end(), movi.begin(), movi.end());
    const uint32_t riffSize = static_cast<uint32_t>(avi.size() - 8);
    for (int i = 0; i < 4; ++i) avi[4 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
    return avi;
}

template <typename Scanner, typename... Args>
void ScanAll(benchmark::State& state, const Bytes& data, CPictureRecorder::Mode mode, Args... args) {
    for (auto _ : state) {
        CPictureRecorder recorder;
        recorder.Configure(mode, 5, mode == CPictureRecorder::Mode::kMpeg12);
        Scanner scanner(recorder, args...);
        for (uint64_t offset = 0; offset < data.size(); offset += kChunk) {
            const uint64_t start = offset == 0 ? 0 : offset - kOverlap;
            const size_t n = static_cast<size_t>(std::min<uint64_t>(data.size() - start, kChunk + (offset ? kOverlap : 0)));
            if (scanner.Scan(ByteView(data.data() + start, n), start, data.size())) break;
        }
        recorder.Flush();
        benchmark::DoNotOptimize(recorder.Video().pictures);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}

void BM_SystemStreamScan(benchmark::State& state) {
    static const Bytes data = Repeated(Sample("mpeg/dvd_pal_ac3.vob"), kSize);
    ScanAll<CSystemStreamScanner>(state, data, CPictureRecorder::Mode::kMpeg12);
}
BENCHMARK(BM_SystemStreamScan)->Unit(benchmark::kMillisecond);

void BM_ElementaryScan(benchmark::State& state) {
    static const Bytes data = Repeated(Sample("scan/mpeg2_elementary.m2v"), kSize);
    ScanAll<CElementaryScanner>(state, data, CPictureRecorder::Mode::kMpeg12);
}
BENCHMARK(BM_ElementaryScan)->Unit(benchmark::kMillisecond);

void BM_AviChunkScan(benchmark::State& state) {
    static const Bytes data = BigAvi();
    ScanAll<CAviChunkScanner>(state, data, CPictureRecorder::Mode::kMpeg4, true);
}
BENCHMARK(BM_AviChunkScan)->Unit(benchmark::kMillisecond);

}  // namespace
